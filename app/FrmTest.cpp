// FrmTest: the window's controls and its handlers — opening a picture, the
// enhancement run on every change of strength, saving the result, the view
// gestures and the window-wide keys.
#include "FrmTest.h"

#include "FailureText.h"
#include "FilterResult.h"
#include "ImageCopies.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/NumberText.h"
#include "support/FitToBox.h"
#include "support/PreciseClock.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

using platform::MsgBoxStyle;

namespace {

constexpr int kBoxWidth = 600;
constexpr int kBoxHeight = 450;

constexpr char kOpenFilter[] =
    "All Suppported Images |*.bmp;*.jpg;*.jpeg;*.png;|BMP Images|*.bmp|JPG Images|*.jpg;*.jpeg"
    "|PNG Images|*.png|All Files|*";
constexpr char kViewHelp[] =
    "滚轮：以指针处为中心缩放两幅图（适应、100%、200%、400%、800%）\n"
    "左键拖动：同时平移两幅图；双击或 Ctrl+0：恢复适应；Ctrl+1：100%\n"
    "按住右键或反斜杠键（\\）：右图显示原图\n"
    "D 键：右图在结果与差异（放大 8 倍，灰色表示无变化）之间切换\n"
    "] / [：同一文件夹中的下一幅 / 上一幅图像\n"
    "选中图框时：+ / - 缩放";
constexpr char kSaveFilter[] = "BMP Images|*.bmp";

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

// The name the save dialog suggests: the picture's own, without its suffix,
// with the strength: "photo.jpg" at strength 5 gives "photo_s5.bmp".
std::string ResultName(const std::string& PicturePath, int Strength) {
  std::string name = PicturePath.substr(PicturePath.find_last_of('/') + 1);
  const std::string::size_type dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name + "_s" + std::to_string(Strength) + ".bmp";
}

}  // namespace

FrmTest::FrmTest(UserDialogs& Dialogs, EnhancementLibrary& Library, EnhancementLibrary* Second)
    : Form("Morvane", 1240, 566),
      Amount(*this, {258, 500, 250, 20}),
      PicTemp(*this, {934, 492, 79, 57}),
      PicSrc(*this, {16, 16, kBoxWidth, kBoxHeight}),
      CmdSave(*this, {98, 492, 85, 25}, "保存图像"),
      PicDest(*this, {632, 16, kBoxWidth, kBoxHeight}),
      CmdOpen(*this, {14, 492, 85, 25}, "选择图像"),
      LblB{{{*this, 204, 504, "增强程度"}, {*this, 518, 504, "5"}}},
      lblinfo(*this, 16, 530, "信息："),
      LblPixel(*this, 16, 471, ""),
      dialogs_(Dialogs),
      library_(Library) {
  if (Second != nullptr) second_.emplace(*Second);
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
  OnKeys([this](const platform::KeyStroke& Key) { return Form_KeyDown(Key); },
         [this](const platform::KeyStroke& Key) { Form_KeyUp(Key); });
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
    ShowFailure(OpenFailure(Failure));
    return;
  }
  if (!path.empty()) OpenFile(path);
}

void FrmTest::OpenFile(const std::string& Path) {
  if (OpenPicture(Path, false)) sequence_.Opened(Path);
}

// A first picture that fails still places the sequence, so that ] goes on to the
// second.
void FrmTest::OpenFiles(const std::vector<std::string>& Paths) {
  sequence_.SetGiven(Paths);
  if (Paths.empty()) return;
  if (OpenPicture(Paths.front(), false)) {
    sequence_.Opened(Paths.front());
  } else {
    sequence_.Failed(Paths.front());
  }
}

void FrmTest::Step(int Direction) {
  const std::optional<std::string> next = sequence_.Next(Direction);
  if (!next) return;
  if (OpenPicture(*next, true)) {
    sequence_.Opened(*next);
  } else {
    sequence_.Failed(*next);
  }
}

// The new picture and its copy are made aside first, so a file that fails leaves
// the picture the window shows, filters and saves as it was. A picture that
// opened but could not be filtered stays open, and the message says that it was
// the filter that failed.
bool FrmTest::OpenPicture(const std::string& Path, bool KeepMode) {
  try {
    FilePicture source = ImageFromFile(Path);
    Cimage result = CopyOf(source.Image);
    SrcImage = std::move(source.Image);
    DestImage = std::move(result);
    source_cut_short_ = source.CutShort;
  } catch (const std::exception& Failure) {
    ShowFailure(OpenFailure(Failure));
    return false;
  }
  picture_path_ = Path;
  run_times_.Clear();
  if (second_) second_->Clear();
  if (!KeepMode) difference_ = false;
  try {
    API::FitToBox(SrcImage.Width(), SrcImage.Height(), kBoxWidth, kBoxHeight, ViewLeft, ViewTop,
                  ViewWidth, ViewHeight);
    view_.Reset(SrcImage.Width(), SrcImage.Height(), kBoxWidth, kBoxHeight, ViewLeft, ViewTop,
                ViewWidth, ViewHeight, PicSrc.DevicePixelRatio());
    DrawSource();
    ApplyEnhancement();
  } catch (const std::exception& Failure) {
    ShowFailure(RunFailure(Failure, true));
  }
  return true;
}

// The label follows the bar even when the run fails, so that it never reads
// another strength than the one the bar shows.
void FrmTest::Amount_Change() {
  try {
    ApplyEnhancement();
  } catch (const std::exception& Failure) {
    ShowFailure(RunFailure(Failure, false));
  }
  LblB[1].SetCaption(std::to_string(Amount.Value()));
  ShowCaptions();
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
    const std::string path = dialogs_.ShowSaveDialog(hWnd(), kSaveFilter, "保存图像", filter_index,
                                                     "", ResultName(picture_path_, Amount.Value()));
    if (path.empty()) return;

    // The dialog asked about the name as chosen; a name it never saw is asked about here.
    const std::string file_name = BmpFileName(path);
    if (file_name != path && platform::FileExists(file_name) && !ConfirmReplace(file_name)) return;

    PicTemp.Move(0, 0, SrcImage.Width(), SrcImage.Height());
    DestImage.OutPut(PicTemp.hDC());
    platform::SavePicture(PicTemp.Image(), file_name);
  } catch (const std::exception& Failure) {
    ShowFailure(SaveFailure(Failure));
  }
}

void FrmTest::Form_Unload() {
  SrcImage.DisposeResource();
  DestImage.DisposeResource();
  if (second_) second_->Release();
}

// Repeats of a held key neither flip a toggle nor step again. The controls keep
// the keys they use: these reach the window only when the focused control
// leaves them alone.
bool FrmTest::Form_KeyDown(const platform::KeyStroke& Key) {
  if (Key.Control) {
    if (Key.Key != '0' && Key.Key != '1') return false;
    if (!Key.Repeat) Redraw(Key.Key == '0' ? view_.Fit() : view_.ActualSize());
    return true;
  }
  switch (Key.Key) {
    case '\\':
      if (!Key.Repeat) HoldCompare(compare_by_key_, true);
      return true;
    case 'D':
      if (!Key.Repeat) {
        difference_ = !difference_;
        Redraw(true);
      }
      return true;
    case '[':
    case ']':
      if (!Key.Repeat) Step(Key.Key == ']' ? 1 : -1);
      return true;
    case 'B':
      if (!second_) return false;
      if (!Key.Repeat) {
        showing_second_ = true;
        Redraw(true);
      }
      return true;
    default:
      return false;
  }
}

void FrmTest::Form_KeyUp(const platform::KeyStroke& Key) {
  if (Key.Key == '\\') HoldCompare(compare_by_key_, false);
  if (Key.Key == 'B') {
    showing_second_ = false;
    Redraw(true);
  }
}

void FrmTest::ApplyEnhancement() {
  if (SrcImage.handle() == nullptr) return;
  try {
    RunFilter();
  } catch (const std::exception& Failure) {
    const FailureText text = RunFailure(Failure, false);
    run_failure_ = text.Headline + "\n" + text.Detail;
    // The result of another strength or picture is not left in its place.
    Redraw(true);
    throw;
  }
  if (second_) {
    if (const std::optional<FailureText> failure = second_->Run(SrcImage, Amount.Value())) {
      ShowFailure(*failure);
    }
  }
  lblinfo.SetToolTip(TimeDetails());
  ShowResult();
}

void FrmTest::RunFilter() {
  RestoreResult();

  const EnhancementLibrary::Timed run = library_.Run(DestImage, Amount.Value());
  CheckFilterResult(run.Status);
  result_filtered_ = true;
  // What is there of a file cut short is still worth seeing, so it is said
  // beside the time rather than in a box the user has to dismiss.
  lblinfo.SetCaption("用时 " + platform::FixedPointText(run.Time) + " ms" +
                     (source_cut_short_ ? "（文件不完整，缺失的部分显示为纯色）" : ""));
  run_times_.Add(Amount.Value(), run.Time);
}

// Every run starts from the unenhanced source, so results never accumulate. A
// result image that does not match the source is made anew rather than written
// past its end.
void FrmTest::RestoreResult() {
  result_filtered_ = false;
  ResetToSource(DestImage, SrcImage);
}

// One run can be slowed by anything else on the machine; the count, minimum and
// median say how far to trust the time shown, and the path which library it is.
// With a second build, its runs follow with its own file, and the ratio of the
// medians says which is faster.
std::string FrmTest::TimeDetails() const {
  const int strength = Amount.Value();
  const auto times = [strength](const RunTimes::Summary& Runs) {
    return "本图在强度 " + std::to_string(strength) + " 下运行 " + std::to_string(Runs.Runs) +
           " 次：最短 " + platform::FixedPointText(Runs.Minimum) + " ms，中位数 " +
           platform::FixedPointText(Runs.Median) + " ms";
  };
  const RunTimes::Summary runs = run_times_.Of(strength);
  std::string details = times(runs) + "\n图像：" + std::to_string(SrcImage.Width()) + " × " +
                        std::to_string(SrcImage.Height()) + " 像素\n库文件：" +
                        library_.FilePath();
  if (!second_) return details;
  const RunTimes::Summary second = second_->Times(strength);
  details += "\n\n第二个库（按住 B 查看）" + times(second) + "\n库文件：" +
             second_->Library().FilePath();
  if (second.Runs > 0 && runs.Median > 0) {
    // In ten-thousandths, as the times, rounded to two decimals.
    const std::int64_t ratio = (second.Median * 100 + runs.Median / 2) / runs.Median * 100;
    details += "\n中位数之比（第二个 / 第一个）：" + platform::FixedPointText(ratio);
  }
  return details;
}

void FrmTest::DrawSource() { Draw(PicSrc, SrcImage); }

void FrmTest::DrawResult() {
  if (Comparing() || !difference_) {
    Draw(PicDest, Comparing() ? SrcImage : ShownResult());
    return;
  }
  DrawLayers(PicDest, [this](platform::Hdc Layer, const PictureView::Placement& At) {
    platform::StretchDifference(Layer, At.DestX, At.DestY, At.DestWidth, At.DestHeight,
                                ShownResult().hdc(), SrcImage.hdc(), At.SrcX, At.SrcY,
                                At.SrcWidth, At.SrcHeight);
  });
}

// A result the filter did not finish is not shown as if it were one.
void FrmTest::ShowResult() {
  if (Comparing() || ShownFiltered()) {
    DrawResult();
  } else {
    PicDest.Cls();
    PicDest.Refresh();
  }
  ShowCaptions();
}

const Cimage& FrmTest::ShownResult() const {
  return showing_second_ ? second_->Result() : DestImage;
}

bool FrmTest::ShownFiltered() const {
  return showing_second_ ? second_->Filtered() : result_filtered_;
}

// Which build the right box shows, when there are two.
std::string FrmTest::ShownBuild() const {
  if (!second_) return {};
  return showing_second_ ? "B：" + second_->Library().FileName() : "A：" + library_.FileName();
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
      .Compare = [this](bool Held) { HoldCompare(compare_by_mouse_, Held); },
      .Hover =
          [this](int X, int Y) {
            pointer_ = PictureView::Point{X, Y};
            ShowCaptions();
          },
      .Leave =
          [this] {
            pointer_.reset();
            ShowCaptions();
          },
  };
}

// The right button and the key each hold the compare; it ends when neither does.
void FrmTest::HoldCompare(bool& Holder, bool Held) {
  const bool was = Comparing();
  Holder = Held;
  if (Comparing() != was) Redraw(true);
}

// Before any picture the boxes keep what they show.
void FrmTest::Redraw(bool Changed) {
  if (!Changed || !SameLayout(DestImage, SrcImage)) return;
  DrawSource();
  ShowResult();
}

ResultMode FrmTest::Mode() const {
  if (Comparing()) return ResultMode::Source;
  if (!ShownFiltered()) return ResultMode::NoResult;
  return difference_ ? ResultMode::Difference : ResultMode::Result;
}

// What each box shows and the pixel under the pointer, said again after
// anything that may change them.
void FrmTest::ShowCaptions() {
  if (!SameLayout(DestImage, SrcImage)) {
    PicSrc.SetOverlay({});
    PicDest.SetOverlay({});
    LblPixel.SetCaption({});
    return;
  }
  PicSrc.SetOverlay(SourceCaption(view_.ZoomPercent()));
  PicDest.SetOverlay(ResultCaption(Mode(), ShownBuild(), view_.ZoomPercent()));
  const std::optional<PictureView::Point> at =
      pointer_ ? view_.PictureAt(pointer_->X, pointer_->Y) : std::nullopt;
  if (!at) {
    LblPixel.SetCaption({});
    return;
  }
  const auto pixel = [at](const Cimage& Image) {
    return Image.Pointer() + static_cast<std::size_t>(at->Y) * Image.Stride() + 3 * at->X;
  };
  LblPixel.SetCaption(PixelReadout(at->X, at->Y, pixel(SrcImage),
                                   ShownFiltered() ? pixel(ShownResult()) : nullptr,
                                   ShownBuild()));
}

bool FrmTest::ConfirmReplace(const std::string& FileName) {
  return dialogs_.MsgBox("文件“" + FileName + "”已存在。\n要替换它吗？",
                         MsgBoxStyle::YesNo | MsgBoxStyle::Question |
                             MsgBoxStyle::DefaultButton2,
                         {}) == platform::MsgBoxResult::Yes;
}

void FrmTest::ShowFailure(const FailureText& Text) {
  dialogs_.MsgBox(Text.Headline, MsgBoxStyle::Critical, Text.Detail);
}
