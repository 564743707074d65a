#include "imaging/runreport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace velmora {
namespace {

TEST(RunReport, StringsAreValidJsonWhateverTheBytes) {
  const std::pair<std::string, std::string> rows[] = {
      {"IMG_0001.jpg", "\"IMG_0001.jpg\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\n\r\t\x01\x1f\x7f", "\"\\n\\r\\t\\u0001\\u001f\\u007f\""},
      {"zdj\xc4\x99" "cie", "\"zdj\xc4\x99" "cie\""},
      {"a\xff" "b", "\"a\xef\xbf\xbd" "b\""},      // a stray byte
      {"\xc3", "\"\xef\xbf\xbd\""},                // cut off at the end
      {"x\xc0\xaf", "\"x\xef\xbf\xbd\xef\xbf\xbd\""},  // an overlong "/"
  };
  for (const auto& [bytes, json] : rows) {
    EXPECT_EQ(jsonString(bytes), json) << bytes;
    QJsonParseError error;
    QJsonDocument::fromJson(QByteArray::fromStdString("[" + json + "]"), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << bytes;
  }
}

QJsonObject Parsed(const std::string& line) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
  EXPECT_EQ(line.find('\n'), std::string::npos);
  return doc.object();
}

TEST(RunReport, EveryFileHasEveryKeyAndTheSummaryCountsThem) {
  FileResult written;
  written.name = "sub/a.jpg";
  written.milliseconds = 12.3456;
  written.outcome.emplace();
  written.outcome->output = "/out/_a.jpg";
  written.outcome->width = 640;
  written.outcome->height = 480;
  written.outcome->bytes = 51234;
  written.outcome->notes = {{TOutputNote::Kind::kThumbnail, "za duża"}};
  FileResult skipped = written;
  skipped.outcome->skipped = true;
  FileResult failed;
  failed.name = "b\xff.jpg";
  failed.error = std::make_exception_ptr(BatchFileError(failed.name, "plik nie istnieje"));
  failed.message = "b\xff.jpg: plik nie istnieje";

  RunReport report;
  const QJsonObject w = Parsed(report.fileLine(written));
  EXPECT_EQ(w["source"].toString(), "sub/a.jpg");
  EXPECT_EQ(w["output"].toString(), "/out/_a.jpg");
  EXPECT_EQ(w["status"].toString(), "written");
  EXPECT_TRUE(w["cause"].isNull());
  EXPECT_EQ(w["notes"].toArray(), QJsonArray({QStringLiteral("zapisano bez miniatury: za duża")}));
  EXPECT_EQ(w["width"].toInt(), 640);
  EXPECT_EQ(w["height"].toInt(), 480);
  EXPECT_EQ(w["bytes"].toInt(), 51234);
  EXPECT_DOUBLE_EQ(w["ms"].toDouble(), 12.346);
  const QJsonObject s = Parsed(report.fileLine(skipped));
  EXPECT_EQ(s["status"].toString(), "skipped");
  EXPECT_TRUE(s["bytes"].isNull());
  const QJsonObject f = Parsed(report.fileLine(failed));
  EXPECT_EQ(f["source"].toString(), QString::fromUtf8("b\xef\xbf\xbd.jpg"));
  EXPECT_EQ(f["status"].toString(), "failed");
  EXPECT_EQ(f["cause"].toString(), "plik nie istnieje");
  for (const char* key : {"output", "notes", "width", "height", "bytes"}) EXPECT_TRUE(f[key].isNull()) << key;

  RunSummary summary;
  summary.total = 4;
  summary.end = RunEnd::Stopped;
  summary.seconds = 1.5;
  const QJsonObject end = Parsed(report.summaryLine(summary))["summary"].toObject();
  EXPECT_EQ(end, QJsonObject({{"written", 1}, {"skipped", 1}, {"failed", 1}, {"total", 4}, {"end", "stopped"},
                              {"ms", 1500.0}}));
}

}  // namespace
}  // namespace velmora
