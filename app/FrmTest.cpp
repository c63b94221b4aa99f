// FrmTest: the window's controls and its handlers — opening a picture, the
// enhancement run on every change of strength, and saving the result.
#include "FrmTest.h"

#include "FilterResult.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/NumberText.h"
#include "support/FitToBox.h"
#include "support/PreciseClock.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

using platform::MsgBoxStyle;

namespace {

constexpr int kBoxWidth = 600;
constexpr int kBoxHeight = 450;

constexpr char kOpenFilter[] =
    "All Suppported Images |*.bmp;*.jpg;*.jpeg;|BMP Images|*.bmp|JPG Images|*.jpg;*.jpeg";
constexpr char kViewHelp[] =
    "滚轮：以指针处为中心缩放两幅图（适应、100%、200%、400%、800%）\n"
    "左键拖动：同时平移两幅图；双击：恢复适应\n"
    "按住右键或反斜杠键（\\）：右图显示原图\n"
    "D 键：右图在结果与差异（放大 8 倍，灰色表示无变化）之间切换\n"
    "选中图框时：+ / - 缩放，Ctrl+0 适应，Ctrl+1 100%";
constexpr char kSaveFilter[] = "BMP Images|*.bmp";
constexpr char kUnsupported[] = "不支持的图像格式。";

bool EndsWithBmp(const std::string& Path) {
  constexpr std::string_view kExtension = ".bmp";
  if (Path.size() < kExtension.size()) return false;
  return std::equal(kExtension.begin(), kExtension.end(), Path.end() - kExtension.size(),
                    [](char A, char B) { return A == std::tolower(static_cast<unsigned char>(B)); });
}

// The name the result is written under: the chosen one, with ".bmp" unless it
// already ends so in any letter case.
std::string BmpFileName(const std::string& Path) {
  return EndsWithBmp(Path) ? Path : Path + ".bmp";
}

std::string NoMemoryText(int Width, int Height) {
  return "内存不足，无法存放 " + std::to_string(Width) + " × " + std::to_string(Height) +
         " 像素的图像。";
}

struct FilePicture {
  Cimage Image;
  bool CutShort;
};

// The file's picture in an image of its own; the window's images are not touched.
FilePicture ImageFromFile(const std::string& Path) {
  const auto picture = platform::LoadPicture(Path);
  Cimage image;
  image.LoadPictureFromStdPicture(picture.get());
  if (image.handle() == nullptr) {
    throw std::runtime_error(NoMemoryText(picture->PixelWidth(), picture->PixelHeight()));
  }
  return {std::move(image), picture->CutShort()};
}

Cimage CopyOf(const Cimage& Image) {
  Cimage copy = Image.Clone();
  if (copy.handle() == nullptr) {
    throw std::runtime_error(NoMemoryText(Image.Width(), Image.Height()));
  }
  return copy;
}

// The reason behind a failure, for the message's detail: the platform's own
// account (the path, the places searched, the system's reason) under a line
// that says in the user's language which part failed.
std::string ReasonOf(const std::exception& Failure) {
  if (dynamic_cast<const platform::PictureLoadError*>(&Failure) != nullptr) {
    return std::string("无法读取图像文件。\n") + Failure.what();
  }
  if (dynamic_cast<const platform::LibraryLoadError*>(&Failure) != nullptr) {
    return std::string("无法载入图像处理库。\n") + Failure.what();
  }
  return Failure.what();
}

bool SameLayout(const Cimage& A, const Cimage& B) {
  return A.handle() != nullptr && A.Width() == B.Width() && A.Height() == B.Height() &&
         A.Stride() == B.Stride();
}

}  // namespace

FrmTest::FrmTest(UserDialogs& Dialogs, EnhancementLibrary& Library)
    : Form("Morvane", 1240, 566),
      Amount(*this, {258, 500, 250, 20}),
      PicTemp(*this, {934, 492, 79, 57}),
      PicSrc(*this, {16, 16, kBoxWidth, kBoxHeight}),
      CmdSave(*this, {98, 492, 85, 25}, "保存图像"),
      PicDest(*this, {632, 16, kBoxWidth, kBoxHeight}),
      CmdOpen(*this, {14, 492, 85, 25}, "选择图像"),
      LblB{{{*this, 204, 504, "增强程度"}, {*this, 518, 504, "5"}}},
      lblinfo(*this, 16, 530, "信息："),
      dialogs_(Dialogs),
      library_(Library) {
  Amount.SetRange(0, 10);
  Amount.SetSmallChange(1);
  Amount.SetLargeChange(2);
  Amount.SetValue(5);
  PicTemp.SetVisible(false);
  SetTabOrder({&CmdOpen, &PicDest, &CmdSave, &PicSrc, &Amount});
  CmdOpen.SetFocus();

  CmdOpen.OnClick([this] { CmdOpen_Click(); });
  CmdSave.OnClick([this] { CmdSave_Click(); });
  Amount.OnChange([this] { Amount_Change(); });
  OnUnload([this] { Form_Unload(); });
  OnDropFile([this](const std::string& Path) { OpenFile(Path); });
  for (platform::PictureBox* box : {&PicSrc, &PicDest}) {
    box->OnGestures(ViewGestures());
    box->SetToolTip(kViewHelp);
  }
}

void FrmTest::CmdOpen_Click() {
  std::string path;
  try {
    path = dialogs_.ShowOpenDialog(hWnd(), kOpenFilter, "选择图像", "");
  } catch (const std::exception& Failure) {
    ShowFailure(kUnsupported, Failure);
    return;
  }
  if (!path.empty()) OpenFile(path);
}

// Every failure, whatever its step, ends in the one message, with the reason
// under it: to the user they all mean that this file could not be shown. The
// new picture and its copy are made aside first, so a file that fails leaves the
// picture the window shows, filters and saves as it was.
void FrmTest::OpenFile(const std::string& Path) {
  try {
    FilePicture source = ImageFromFile(Path);
    Cimage result = CopyOf(source.Image);
    SrcImage = std::move(source.Image);
    DestImage = std::move(result);
    source_cut_short_ = source.CutShort;
    run_times_.Clear();
    API::FitToBox(SrcImage.Width(), SrcImage.Height(), kBoxWidth, kBoxHeight, ViewLeft, ViewTop,
                  ViewWidth, ViewHeight);
    view_.Reset(SrcImage.Width(), SrcImage.Height(), kBoxWidth, kBoxHeight, ViewLeft, ViewTop,
                ViewWidth, ViewHeight, PicSrc.DevicePixelRatio());
    DrawSource();
    ApplyEnhancement();
  } catch (const std::exception& Failure) {
    ShowFailure(kUnsupported, Failure);
  }
}

// The label follows the bar even when the run fails, so that it never reads
// another strength than the one the bar shows.
void FrmTest::Amount_Change() {
  try {
    ApplyEnhancement();
  } catch (const std::exception& Failure) {
    ShowFailure("图像增强失败。", Failure);
  }
  LblB[1].SetCaption(std::to_string(Amount.Value()));
}

void FrmTest::CmdSave_Click() {
  try {
    if (DestImage.handle() == nullptr) {
      dialogs_.MsgBox("还没有可保存的图像，请先选择图像。", MsgBoxStyle::Exclamation, {});
      return;
    }
    // What the right box holds after a run that failed is the unfiltered
    // source; written as the result, it would pass for the filter's work.
    if (!result_filtered_) {
      dialogs_.MsgBox("没有可保存的增强结果：图像处理库没有为当前图像和强度生成结果。",
                      MsgBoxStyle::Exclamation, run_failure_);
      return;
    }
    std::int16_t filter_index = 0;
    const std::string path =
        dialogs_.ShowSaveDialog(hWnd(), kSaveFilter, "保存图像", filter_index, "");
    if (path.empty()) return;

    // The dialog asked about the name as chosen; a name it never saw is asked about here.
    const std::string file_name = BmpFileName(path);
    if (file_name != path && platform::FileExists(file_name) && !ConfirmReplace(file_name)) return;

    PicTemp.Move(0, 0, SrcImage.Width(), SrcImage.Height());
    DestImage.OutPut(PicTemp.hDC());
    platform::SavePicture(PicTemp.Image(), file_name);
  } catch (const std::exception& Failure) {
    ShowFailure("无法保存图像。", Failure);
  }
}

void FrmTest::Form_Unload() {
  SrcImage.DisposeResource();
  DestImage.DisposeResource();
}

void FrmTest::ApplyEnhancement() {
  if (SrcImage.handle() == nullptr) return;
  try {
    RunFilter();
  } catch (const std::exception& Failure) {
    run_failure_ = ReasonOf(Failure);
    throw;
  }
  DrawResult();
}

void FrmTest::RunFilter() {
  RestoreResult();

  // Bound outside the timed interval: the time shown is the filter's alone, also
  // on the first run, which is the one that finds the library.
  EnhancementLibrary::Filter* const filter = library_.DetailEnhancementByBilaterFilter();
  const API::MsStamp t1 = API::GetPreciseMs();
  const int status = filter(DestImage.Pointer(), DestImage.Width(), DestImage.Height(),
                            DestImage.Stride(), Amount.Value());
  const API::MsStamp t2 = API::GetPreciseMs();
  CheckFilterResult(status);
  result_filtered_ = true;
  // What is there of a file cut short is still worth seeing, so it is said
  // beside the time rather than in a box the user has to dismiss.
  lblinfo.SetCaption("用时 " + platform::FixedPointText(t2 - t1) + " ms" +
                     (source_cut_short_ ? "（文件不完整，缺失的部分显示为纯色）" : ""));
  run_times_.Add(Amount.Value(), t2 - t1);
  lblinfo.SetToolTip(TimeDetails());
}

// Every run starts from the unenhanced source, so results never accumulate. A
// result image that does not match the source is made anew rather than written
// past its end.
void FrmTest::RestoreResult() {
  result_filtered_ = false;
  if (!SameLayout(DestImage, SrcImage)) DestImage = CopyOf(SrcImage);
  std::memcpy(DestImage.Pointer(), SrcImage.Pointer(),
              static_cast<std::size_t>(SrcImage.Stride()) * SrcImage.Height());
}

// One run can be slowed by anything else on the machine; the count, minimum and
// median say how far to trust the time shown, and the path which library it is.
std::string FrmTest::TimeDetails() const {
  const RunTimes::Summary runs = run_times_.Of(Amount.Value());
  return "本图在强度 " + std::to_string(Amount.Value()) + " 下运行 " + std::to_string(runs.Runs) +
         " 次：最短 " + platform::FixedPointText(runs.Minimum) + " ms，中位数 " +
         platform::FixedPointText(runs.Median) + " ms\n图像：" + std::to_string(SrcImage.Width()) +
         " × " + std::to_string(SrcImage.Height()) + " 像素\n库文件：" + library_.FilePath();
}

void FrmTest::DrawSource() { Draw(PicSrc, SrcImage); }

void FrmTest::DrawResult() {
  if (comparing_ || !difference_) {
    Draw(PicDest, comparing_ ? SrcImage : DestImage);
    return;
  }
  DrawLayers(PicDest, [this](platform::Hdc Layer, const PictureView::Placement& At) {
    platform::StretchDifference(Layer, At.DestX, At.DestY, At.DestWidth, At.DestHeight,
                                DestImage.hdc(), SrcImage.hdc(), At.SrcX, At.SrcY, At.SrcWidth,
                                At.SrcHeight);
  });
}

void FrmTest::Draw(platform::PictureBox& Box, const Cimage& Image) {
  DrawLayers(Box, [&Image](platform::Hdc Layer, const PictureView::Placement& At) {
    Image.Render(Layer, At.DestX, At.DestY, At.DestWidth, At.DestHeight, At.SrcX, At.SrcY,
                 At.SrcWidth, At.SrcHeight);
  });
}

// Only the part of the picture that shows is drawn, from the images held: a
// zoom, pan or compare never runs the filter. On a screen with more device
// pixels than logical ones the box's device layer is drawn too, and shown.
void FrmTest::DrawLayers(platform::PictureBox& Box, const LayerPainter& Paint) {
  Box.Cls();
  Paint(Box.hDC(), view_.Where(1));
  if (const platform::Hdc layer = Box.DeviceDC()) Paint(layer, view_.Where(Box.DevicePixelRatio()));
  Box.Refresh();
}

platform::PictureBox::Gestures FrmTest::ViewGestures() {
  return {
      .Zoom = [this](int Steps, int X, int Y) { Redraw(view_.Zoom(Steps, X, Y)); },
      .Pan = [this](int Dx, int Dy) { Redraw(view_.Pan(Dx, Dy)); },
      .Fit = [this] { Redraw(view_.Fit()); },
      .ActualSize = [this] { Redraw(view_.ActualSize()); },
      .Compare =
          [this](bool Held) {
            comparing_ = Held;
            Redraw(true);
          },
      .ToggleDifference =
          [this] {
            difference_ = !difference_;
            Redraw(true);
          },
  };
}

// Before any picture the boxes keep what they show. A result the filter did not
// finish is not shown as if it were one.
void FrmTest::Redraw(bool Changed) {
  if (!Changed || !SameLayout(DestImage, SrcImage)) return;
  DrawSource();
  if (comparing_ || result_filtered_) {
    DrawResult();
  } else {
    PicDest.Cls();
    PicDest.Refresh();
  }
}

bool FrmTest::ConfirmReplace(const std::string& FileName) {
  return dialogs_.MsgBox("文件“" + FileName + "”已存在。\n要替换它吗？",
                         MsgBoxStyle::YesNo | MsgBoxStyle::Question |
                             MsgBoxStyle::DefaultButton2,
                         {}) == platform::MsgBoxResult::Yes;
}

void FrmTest::ShowFailure(const std::string& Headline, const std::exception& Failure) {
  dialogs_.MsgBox(Headline, MsgBoxStyle::Critical, ReasonOf(Failure));
}
