// FrmTest: the program's one window. It opens a picture, shows it fitted into
// the left box, runs the enhancement library on a copy at the strength set on the
// scroll bar, shows the result and the time the library took in the right box,
// and saves the result at full resolution. Both boxes zoom and pan together, the
// right box can show the source or the difference for comparison, the pixel under
// the pointer is read out, and the pictures of a folder are stepped through.
// With a second build of the filter, holding B shows its result instead.
#pragma once

#include "BoxCaptions.h"
#include "EnhancementLibrary.h"
#include "FailureText.h"
#include "PictureSequence.h"
#include "PictureView.h"
#include "RunTimes.h"
#include "SecondBuild.h"
#include "UserDialogs.h"
#include "imaging/Cimage.h"
#include "platform/CommandButton.h"
#include "platform/Form.h"
#include "platform/HScrollBar.h"
#include "platform/Label.h"
#include "platform/PictureBox.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class FrmTest : public platform::Form {
 public:
  // Second, when given, runs after Library on every run; it is shown while B is held.
  FrmTest(UserDialogs& Dialogs, EnhancementLibrary& Library, EnhancementLibrary* Second = nullptr);

  // Opens the picture at Path exactly as if it had been chosen in the open
  // dialog: from the command line and from a file dropped on the window.
  void OpenFile(const std::string& Path);
  // The pictures named on the command line: the first is opened, ] and [ step
  // through them all when there are several.
  void OpenFiles(const std::vector<std::string>& Paths);

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
  // The pixel under the pointer, in the free strip under the boxes.
  platform::Label LblPixel;

  Cimage SrcImage;   // the picture as loaded
  Cimage DestImage;  // the enhanced copy
  // Where both pictures are drawn inside their 600 x 450 boxes.
  int ViewLeft = 0;
  int ViewTop = 0;
  int ViewWidth = 0;
  int ViewHeight = 0;

 private:
  // False when the file could not be opened. The right box goes back to the
  // result unless KeepMode, as when stepping through a folder.
  bool OpenPicture(const std::string& Path, bool KeepMode);
  void Step(int Direction);
  void CmdOpen_Click();
  void CmdSave_Click();
  void Amount_Change();
  void Form_Unload();
  bool Form_KeyDown(const platform::KeyStroke& Key);
  void Form_KeyUp(const platform::KeyStroke& Key);

  void ApplyEnhancement();
  void RunFilter();
  void RestoreResult();
  std::string TimeDetails() const;
  void DrawSource();
  void DrawResult();
  void ShowResult();
  const Cimage& ShownResult() const;
  bool ShownFiltered() const;
  std::string ShownBuild() const;
  void Draw(platform::PictureBox& Box, const Cimage& Image);
  using LayerPainter = std::function<void(platform::Hdc Layer, const PictureView::Placement& At)>;
  void DrawLayers(platform::PictureBox& Box, const LayerPainter& Paint);

  // The view gestures of either box act on both.
  platform::PictureBox::Gestures ViewGestures();
  void Redraw(bool Changed);
  void HoldCompare(bool& Holder, bool Held);
  bool Comparing() const { return compare_by_mouse_ || compare_by_key_; }
  ResultMode Mode() const;
  void ShowCaptions();
  bool ConfirmReplace(const std::string& FileName);
  void ShowFailure(const FailureText& Text);

  UserDialogs& dialogs_;
  EnhancementLibrary& library_;
  std::string picture_path_;       // the file of SrcImage
  bool source_cut_short_ = false;  // the file of SrcImage ended early
  PictureView view_;
  RunTimes run_times_;  // of the current picture
  bool result_filtered_ = false;  // DestImage holds the filter's output
  std::string run_failure_;       // why the last run that failed did
  bool compare_by_mouse_ = false;  // the right box shows the source while either holds
  bool compare_by_key_ = false;
  bool difference_ = false;  // the right box shows what the filter changed
  std::optional<SecondBuild> second_;
  bool showing_second_ = false;  // B is held
  std::optional<PictureView::Point> pointer_;  // over a box, in its pixels
  PictureSequence sequence_;
};
