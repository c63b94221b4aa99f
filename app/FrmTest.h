// FrmTest: the program's one window. It opens a picture, shows it fitted into
// the left box, runs the enhancement library on a copy at the strength set on the
// scroll bar, shows the result and the time the library took in the right box,
// and saves the result at full resolution. Both boxes zoom and pan together, and
// the right box can show the source or the difference for comparison.
#pragma once

#include "EnhancementLibrary.h"
#include "PictureView.h"
#include "RunTimes.h"
#include "UserDialogs.h"
#include "imaging/Cimage.h"
#include "platform/CommandButton.h"
#include "platform/Form.h"
#include "platform/HScrollBar.h"
#include "platform/Label.h"
#include "platform/PictureBox.h"

#include <array>
#include <exception>
#include <functional>
#include <string>

class FrmTest : public platform::Form {
 public:
  FrmTest(UserDialogs& Dialogs, EnhancementLibrary& Library);

  // Opens the picture at Path exactly as if it had been chosen in the open
  // dialog: from the command line and from a file dropped on the window.
  void OpenFile(const std::string& Path);

  // The controls and the state they show are open to view, as on a form.
  platform::HScrollBar Amount;
  platform::PictureBox PicTemp;
  platform::PictureBox PicSrc;
  platform::CommandButton CmdSave;
  platform::PictureBox PicDest;
  platform::CommandButton CmdOpen;
  // 0: the fixed caption, 1: the strength value.
  std::array<platform::Label, 2> LblB;
  platform::Label lblinfo;

  Cimage SrcImage;   // the picture as loaded
  Cimage DestImage;  // the enhanced copy
  // Where both pictures are drawn inside their 600 x 450 boxes.
  int ViewLeft = 0;
  int ViewTop = 0;
  int ViewWidth = 0;
  int ViewHeight = 0;

 private:
  void CmdOpen_Click();
  void CmdSave_Click();
  void Amount_Change();
  void Form_Unload();

  void ApplyEnhancement();
  void RunFilter();
  void RestoreResult();
  std::string TimeDetails() const;
  void DrawSource();
  void DrawResult();
  void Draw(platform::PictureBox& Box, const Cimage& Image);
  using LayerPainter = std::function<void(platform::Hdc Layer, const PictureView::Placement& At)>;
  void DrawLayers(platform::PictureBox& Box, const LayerPainter& Paint);

  // The view gestures of either box act on both.
  platform::PictureBox::Gestures ViewGestures();
  void Redraw(bool Changed);
  bool ConfirmReplace(const std::string& FileName);
  void ShowFailure(const std::string& Headline, const std::exception& Failure);

  UserDialogs& dialogs_;
  EnhancementLibrary& library_;
  bool source_cut_short_ = false;  // the file of SrcImage ended early
  PictureView view_;
  RunTimes run_times_;  // of the current picture
  bool result_filtered_ = false;  // DestImage holds the filter's output
  std::string run_failure_;       // why the last run that failed did
  bool comparing_ = false;   // the right box shows the source
  bool difference_ = false;  // the right box shows what the filter changed
};
