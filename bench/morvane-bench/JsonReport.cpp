// JsonReport: the top-level object, then one object per case and per pair.
#include "JsonReport.h"

#include "JsonWriter.h"
#include "ResultCodes.h"

namespace bench {

namespace {

void WriteCase(JsonWriter& json, const Report& Report, const CaseResult& r) {
  json.BeginObject();
  json.Key("picture");
  json.String(r.picture);
  json.Key("edge_shape");
  json.Bool(r.edge_shape);
  json.Key("width");
  json.Integer(r.width);
  json.Key("height");
  json.Integer(r.height);
  json.Key("stride");
  json.Integer(r.stride);
  json.Key("strength");
  json.Integer(r.strength);
  json.Key("build");
  json.String(Report.builds[r.build].label);
  json.Key("runs");
  json.Integer(static_cast<long long>(r.times_ms.size()));
  json.Key("median_ms");
  r.Timed() ? json.Number(r.median_ms) : json.Null();
  json.Key("min_ms");
  r.Timed() ? json.Number(r.min_ms) : json.Null();
  json.Key("iqr_ms");
  r.Timed() ? json.Number(r.iqr_ms) : json.Null();
  json.Key("result");
  json.Optional(r.result);
  json.Key("result_name");
  r.result ? json.String(ResultName(*r.result)) : json.Null();
  json.Key("crashed");
  json.Bool(r.crashed);
  json.Key("signal");
  json.Optional(r.signal);
  json.Key("timed_out");
  json.Bool(r.timed_out);
  json.Key("contract_violations");
  json.BeginArray();
  for (const std::string& text : r.contract_violations) json.String(text);
  json.EndArray();
  json.Key("padding_written");
  json.Bool(r.padding_written);
  json.Key("deterministic");
  json.Optional(r.deterministic);
  json.Key("warnings");
  json.BeginArray();
  for (const std::string& text : r.warnings) json.String(text);
  json.EndArray();
  json.Key("reference_psnr_db");
  json.Optional(r.reference_psnr_db);
  json.Key("reference_max_error");
  json.Optional(r.reference_max_error);
  json.EndObject();
}

void WritePair(JsonWriter& json, const PairResult& p) {
  json.BeginObject();
  json.Key("picture");
  json.String(p.picture);
  json.Key("edge_shape");
  json.Bool(p.edge_shape);
  json.Key("strength");
  json.Integer(p.strength);
  const std::optional<Difference>& d = p.difference;
  json.Key("identical");
  d ? json.Bool(d->Identical()) : json.Null();
  json.Key("differing_pixels");
  d ? json.Integer(static_cast<long long>(d->differing_pixels)) : json.Null();
  json.Key("differing_share");
  d ? json.Number(d->differing_share) : json.Null();
  json.Key("max_abs_diff");
  if (d) {
    json.BeginArray(true);
    for (const int channel : d->max_abs_diff) json.Integer(channel);
    json.EndArray();
  } else {
    json.Null();
  }
  json.Key("psnr_db");
  d ? json.Number(d->psnr_db) : json.Null();
  json.Key("bbox");
  if (d && d->bounds) {
    json.BeginArray(true);
    for (const int v : {d->bounds->x, d->bounds->y, d->bounds->width, d->bounds->height}) json.Integer(v);
    json.EndArray();
  } else {
    json.Null();
  }
  json.Key("ratio");
  json.Optional(p.ratio);
  json.Key("ratio_spread");
  p.ratio ? json.Number(*p.ratio_q3 - *p.ratio_q1) : json.Null();
  json.Key("ratio_quartiles");
  if (p.ratio) {
    json.BeginArray(true);
    json.Number(*p.ratio_q1);
    json.Number(*p.ratio_q3);
    json.EndArray();
  } else {
    json.Null();
  }
  json.EndObject();
}

void WriteLoad(JsonWriter& json, const std::array<double, 3>& Load) {
  json.BeginArray(true);
  for (const double value : Load) json.Number(value);
  json.EndArray();
}

}  // namespace

std::string JsonReport(const Report& Report, const std::string& Version) {
  JsonWriter json;
  json.BeginObject();
  json.Key("version");
  json.String(Version);
  json.Key("machine");
  json.BeginObject();
  json.Key("cpu_model");
  json.String(Report.machine.processor);
  json.Key("cpus");
  json.Integer(Report.machine.cpus);
  json.Key("load_average");
  WriteLoad(json, Report.machine.load_at_start);
  json.Key("load_average_at_end");
  WriteLoad(json, Report.machine.load_at_end);
  json.EndObject();

  json.Key("builds");
  json.BeginArray();
  for (const BuildInfo& build : Report.builds) {
    json.BeginObject();
    json.Key("build");
    json.String(build.label);
    json.Key("path");
    json.String(build.given);
    json.Key("file");
    json.String(build.file);
    json.Key("env");
    json.BeginObject();
    for (const std::string& entry : Report.environment) {
      const std::size_t equals = entry.find('=');
      json.Key(entry.substr(0, equals));
      json.String(entry.substr(equals + 1));
    }
    json.EndObject();
    json.EndObject();
  }
  json.EndArray();

  json.Key("strengths");
  json.BeginArray(true);
  for (const int s : Report.strengths) json.Integer(s);
  json.EndArray();
  json.Key("reference");
  json.Bool(Report.reference);

  json.Key("results");
  json.BeginArray();
  for (const CaseResult& r : Report.cases) WriteCase(json, Report, r);
  json.EndArray();
  json.Key("pairs");
  json.BeginArray();
  for (const PairResult& p : Report.pairs) WritePair(json, p);
  json.EndArray();

  json.Key("skipped");
  json.BeginArray();
  for (const SkippedPicture& s : Report.skipped) {
    json.BeginObject();
    json.Key("picture");
    json.String(s.picture);
    json.Key("reason");
    json.String(s.reason);
    json.EndObject();
  }
  json.EndArray();
  json.Key("warnings");
  json.BeginArray();
  for (const std::string& w : Report.warnings) json.String(w);
  json.EndArray();

  json.Key("decode_ms");
  json.Number(Report.decode_ms);
  json.Key("reference_ms");
  json.Number(Report.reference_ms);
  json.Key("overhead_ms");
  json.Number(Report.overhead_ms);
  json.Key("total_ms");
  json.Number(Report.total_ms);
  json.EndObject();
  return json.Text();
}

}  // namespace bench
