// HtmlReport: the page, its chart and its pictures (data: URLs of PNG files).
#include "HtmlReport.h"

#include "TerminalReport.h"
#include "platform/PngEncoding.h"

#include <algorithm>
#include <cstdio>

namespace bench {

namespace {

// The part of a region shown at 400 %, around its centre.
constexpr int kZoomSide = 32;
constexpr int kZoom = 4;
// A difference shows as 128 + 8 x (after - before) per channel, as the
// window's difference view does.
constexpr int kDifferenceGain = 8;

const char* const kStyle = R"(
body { font: 14px/1.4 sans-serif; margin: 1.5em; color: #222; }
table { border-collapse: collapse; margin: 0.5em 0 1.5em; }
th, td { padding: 0.2em 0.7em; border-bottom: 1px solid #ddd; text-align: left; white-space: nowrap; }
td.wrap { white-space: normal; min-width: 18em; }
td.number { text-align: right; font-variant-numeric: tabular-nums; }
td.trouble { color: #b00; font-weight: bold; }
figure { display: inline-block; margin: 0 0.8em 0.8em 0; }
figcaption { font-size: 12px; color: #555; }
img { display: block; border: 1px solid #ccc; }
img.zoomed { image-rendering: pixelated; }
.warning { color: #a60; }
)";

std::string Escaped(const std::string& Text) {
  std::string out;
  for (const char c : Text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Base64(const std::vector<std::uint8_t>& Bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < Bytes.size(); i += 3) {
    const std::uint32_t n = (Bytes[i] << 16) | (i + 1 < Bytes.size() ? Bytes[i + 1] << 8 : 0) |
                            (i + 2 < Bytes.size() ? Bytes[i + 2] : 0);
    out += digits[(n >> 18) & 63];
    out += digits[(n >> 12) & 63];
    out += i + 1 < Bytes.size() ? digits[(n >> 6) & 63] : '=';
    out += i + 2 < Bytes.size() ? digits[n & 63] : '=';
  }
  return out;
}

std::string Cell(const std::string& Text, const char* Class = nullptr) {
  return std::string("<td") + (Class ? std::string(" class=\"") + Class + "\"" : "") + ">" + Escaped(Text) + "</td>";
}

// A picture of Width x Height packed pixels, shown Scale times its size.
std::string Image(const std::vector<std::uint8_t>& Pixels, int Width, int Height, int Scale, const std::string& Alt) {
  const std::vector<std::uint8_t> png = platform::EncodePng(Pixels.data(), Width, Height, 3 * Width);
  return "<img src=\"data:image/png;base64," + Base64(png) + "\" width=\"" + std::to_string(Width * Scale) +
         "\" height=\"" + std::to_string(Height * Scale) + "\" alt=\"" + Escaped(Alt) + "\"" +
         (Scale > 1 ? " class=\"zoomed\"" : "") + ">";
}

std::vector<std::uint8_t> DifferencePixels(const std::vector<std::uint8_t>& Before, const std::vector<std::uint8_t>& After) {
  std::vector<std::uint8_t> out(Before.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<std::uint8_t>(std::clamp(128 + kDifferenceGain * (After[i] - Before[i]), 0, 255));
  }
  return out;
}

// The Box of packed pixels Width wide.
std::vector<std::uint8_t> Cut(const std::vector<std::uint8_t>& Pixels, int Width, const Box& Box) {
  std::vector<std::uint8_t> out;
  for (int y = Box.y; y < Box.y + Box.height; ++y) {
    const auto row = Pixels.begin() + (static_cast<std::size_t>(y) * Width + Box.x) * 3;
    out.insert(out.end(), row, row + 3 * Box.width);
  }
  return out;
}

// The rows of the photos, or of the edge shapes.
std::string ResultsTable(const Report& Report, bool EdgeShapes) {
  const std::size_t count = Report.builds.size();
  const bool two = count == 2;
  std::string html = "<table class=\"results\">\n<tr><th>picture</th><th>size</th><th>strength</th>";
  for (const BuildInfo& build : Report.builds) html += "<th>" + build.label + " median</th><th>" + build.label + " min</th>";
  if (two) html += "<th>B/A (IQR)</th><th>difference</th>";
  if (Report.reference) {
    for (const BuildInfo& build : Report.builds) html += "<th>exact " + build.label + "</th>";
  }
  html += "</tr>\n";
  for (std::size_t i = 0; i + count <= Report.cases.size(); i += count) {
    const CaseResult& first = Report.cases[i];
    if (first.edge_shape != EdgeShapes) continue;
    html += "<tr>" + Cell(first.picture) + Cell(std::to_string(first.width) + "x" + std::to_string(first.height), "number") +
            Cell(std::to_string(first.strength), "number");
    for (std::size_t b = 0; b < count; ++b) {
      const CaseResult& c = Report.cases[i + b];
      const std::string trouble = FormatTrouble(c);
      if (!trouble.empty()) {
        html += Cell(trouble, "trouble") + Cell("");
      } else {
        html += Cell(c.Timed() ? FormatMs(c.median_ms) : "-", "number") + Cell(c.Timed() ? FormatMs(c.min_ms) : "-", "number");
      }
    }
    if (two) {
      const PairResult& pair = Report.pairs[i / count];
      html += Cell(FormatRatio(pair)) + Cell(FormatDifference(pair), "wrap");
    }
    if (Report.reference) {
      for (std::size_t b = 0; b < count; ++b) html += Cell(FormatExact(Report.cases[i + b]), "number");
    }
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

// Horizontal bars of the median per picture, strength and build, with a tick
// at the fastest call.
std::string TimesChart(const Report& Report) {
  static const char* const colours[] = {"#4477aa", "#ee6677"};
  constexpr int kLabelWidth = 320, kBarsWidth = 480, kBar = 12, kGap = 10, kTop = 24;
  double longest = 0;
  std::vector<const CaseResult*> timed;
  for (const CaseResult& c : Report.cases) {
    if (c.edge_shape || !c.Timed() || !FormatTrouble(c).empty()) continue;
    timed.push_back(&c);
    longest = std::max(longest, c.median_ms);
  }
  if (timed.empty() || longest <= 0) return "<p>No call was timed.</p>\n";
  const std::size_t count = Report.builds.size();
  int groups = 0;
  for (std::size_t i = 0; i < Report.cases.size(); i += count) groups += !Report.cases[i].edge_shape;
  const int height = kTop + groups * (static_cast<int>(count) * kBar + kGap);
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kLabelWidth + kBarsWidth + 90) +
                    "\" height=\"" + std::to_string(height) + "\" role=\"img\" aria-label=\"Median time of a call\">\n";
  for (std::size_t b = 0; b < count; ++b) {
    const int x = kLabelWidth + static_cast<int>(b) * 120;
    svg += "<rect x=\"" + std::to_string(x) + "\" y=\"4\" width=\"12\" height=\"12\" fill=\"" + colours[b] + "\"/>";
    svg += "<text x=\"" + std::to_string(x + 16) + "\" y=\"14\" font-size=\"12\">build " + Report.builds[b].label +
           " median</text>\n";
  }
  int y = kTop;
  for (std::size_t i = 0; i + count <= Report.cases.size(); i += count) {
    const CaseResult& first = Report.cases[i];
    if (first.edge_shape) continue;
    std::string label = first.picture + ", strength " + std::to_string(first.strength);
    if (label.size() > 48) label = "..." + label.substr(label.size() - 45);
    svg += "<text x=\"0\" y=\"" + std::to_string(y + kBar) + "\" font-size=\"12\">" + Escaped(label) + "</text>\n";
    for (std::size_t b = 0; b < count; ++b, y += kBar) {
      const CaseResult& c = Report.cases[i + b];
      if (!c.Timed() || !FormatTrouble(c).empty()) continue;
      const double scale = kBarsWidth / longest;
      const int width = std::max(1, static_cast<int>(c.median_ms * scale));
      const int tick = kLabelWidth + static_cast<int>(c.min_ms * scale);
      svg += "<rect x=\"" + std::to_string(kLabelWidth) + "\" y=\"" + std::to_string(y + 1) + "\" width=\"" +
             std::to_string(width) + "\" height=\"" + std::to_string(kBar - 2) + "\" fill=\"" + colours[b] + "\"/>";
      svg += "<line x1=\"" + std::to_string(tick) + "\" x2=\"" + std::to_string(tick) + "\" y1=\"" + std::to_string(y) +
             "\" y2=\"" + std::to_string(y + kBar) + "\" stroke=\"#000\"/>";
      svg += "<text x=\"" + std::to_string(kLabelWidth + width + 4) + "\" y=\"" + std::to_string(y + kBar - 2) +
             "\" font-size=\"11\">" + Escaped(FormatMs(c.median_ms)) + "</text>\n";
    }
    y += kGap;
  }
  return svg + "</svg>\n";
}

std::string RegionSection(const Report& Report, const Region& Region) {
  const int w = Region.box.width, h = Region.box.height;
  const bool two = Region.outputs.size() == 2;
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> panels{{"source", Region.source}};
  for (std::size_t b = 0; b < Region.outputs.size(); ++b) panels.push_back({"build " + Report.builds[b].label, Region.outputs[b]});
  if (two) {
    panels.push_back({"difference B - A", DifferencePixels(Region.outputs[0], Region.outputs[1])});
  } else {
    panels.push_back({"difference A - source", DifferencePixels(Region.source, Region.outputs[0])});
  }
  std::string what = two ? (Region.builds_differ ? std::to_string(Region.differing_pixels) + " pixels differ; shown where most"
                                                 : "the builds agree; shown where the filter changed most")
                         : "shown where the filter changed most";
  std::string html = "<section>\n<h3>" + Escaped(Region.picture) + ", strength " + std::to_string(Region.strength) + "</h3>\n";
  html += "<p>" + Escaped(what) + ": " + std::to_string(w) + "x" + std::to_string(h) + " pixels at " +
          std::to_string(Region.box.x) + "," + std::to_string(Region.box.y) + ". Difference: 128 + " +
          std::to_string(kDifferenceGain) + " x (after - before) per channel.</p>\n<div>\n";
  for (const auto& [name, pixels] : panels) {
    html += "<figure>" + Image(pixels, w, h, 1, name + " at 100 %") + "<figcaption>" + Escaped(name) +
            ", 100 %</figcaption></figure>\n";
  }
  html += "</div>\n<div>\n";
  const Box zoom = BoxAround({Region.spot.x - Region.box.x, Region.spot.y - Region.box.y}, kZoomSide, kZoomSide, w, h);
  for (const auto& [name, pixels] : panels) {
    html += "<figure>" + Image(Cut(pixels, w, zoom), zoom.width, zoom.height, kZoom, name + " at 400 %") +
            "<figcaption>" + Escaped(name) + ", 400 %, at " + std::to_string(Region.box.x + zoom.x) + "," +
            std::to_string(Region.box.y + zoom.y) + "</figcaption></figure>\n";
  }
  return html + "</div>\n</section>\n";
}

}  // namespace

std::string HtmlReport(const Report& Report, const std::string& Version) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<title>morvane-bench report</title>\n<style>" +
                     std::string(kStyle) + "</style>\n</head>\n<body>\n<h1>morvane-bench report</h1>\n";
  html += "<p>morvane-bench " + Escaped(Version) + " on " + Escaped(Report.machine.processor) + ", " +
          std::to_string(Report.machine.cpus) + " CPUs, load average " + FormatLoad(Report.machine.load_at_start) +
          " (at the end " + FormatLoad(Report.machine.load_at_end) + ").</p>\n";
  html += "<table class=\"builds\">\n";
  for (const BuildInfo& build : Report.builds) {
    html += "<tr><th>" + build.label + "</th>" + Cell(build.file) + "</tr>\n";
  }
  for (const std::string& entry : Report.environment) html += "<tr><th>env</th>" + Cell(entry) + "</tr>\n";
  html += "</table>\n";
  if (!Report.warnings.empty() || !Report.skipped.empty()) {
    html += "<ul>\n";
    for (const std::string& warning : Report.warnings) html += "<li class=\"warning\">" + Escaped(warning) + "</li>\n";
    for (const SkippedPicture& s : Report.skipped) html += "<li class=\"warning\">" + Escaped(s.reason) + "</li>\n";
    html += "</ul>\n";
  }
  html += "<h2>Results</h2>\n" + ResultsTable(Report, false);
  html += "<h2>Times</h2>\n" + TimesChart(Report);
  html += Report.builds.size() == 2 ? "<h2>Where the builds differ most</h2>\n" : "<h2>What the filter changes</h2>\n";
  for (const Region& region : Report.regions) html += RegionSection(Report, region);
  html += "<h2>Edge shapes</h2>\n<p>Made up by morvane-bench, one call each: where filters go wrong at their edges.</p>\n" +
          ResultsTable(Report, true);
  return html + "</body>\n</html>\n";
}

}  // namespace bench
