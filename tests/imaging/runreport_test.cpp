#include "imaging/runreport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace velmora {
namespace {

// A line that is not one JSON object gives an empty one.
QJsonObject Parsed(const std::string& line) {
  return line.find('\n') == std::string::npos ? QJsonDocument::fromJson(QByteArray::fromStdString(line)).object()
                                               : QJsonObject();
}

TEST(RunReport, EveryFileHasEveryKeyAndTheSummaryCountsThem) {
  FileResult written;
  written.name = "sub/a.jpg";
  written.milliseconds = 12.3456;
  written.outcome = FileOutcome{"/out/_a.jpg", 640, 480, ScaleAction::Reduce, 90, 51234, {{TOutputNote::Kind::kThumbnail, "za duża"}}};
  FileResult skipped = written;
  skipped.outcome->skipped = true;
  FileResult failed;
  failed.name = "b\xff.jpg";
  failed.error = std::make_exception_ptr(BatchFileError(failed.name, "plik nie istnieje"));
  const QJsonValue null;
  const QJsonArray notes{QStringLiteral("zapisano bez miniatury: za duża")};
  RunReport report;
  EXPECT_EQ(Parsed(report.fileLine(written)),
            QJsonObject({{"source", "sub/a.jpg"}, {"output", "/out/_a.jpg"}, {"status", "written"}, {"cause", null},
                         {"notes", notes}, {"width", 640}, {"height", 480}, {"bytes", 51234}, {"ms", 12.346}}));
  EXPECT_EQ(Parsed(report.fileLine(skipped))["status"], "skipped");
  EXPECT_EQ(Parsed(report.fileLine(failed)),
            QJsonObject({{"source", QString::fromUtf8("b\xef\xbf\xbd.jpg")}, {"output", null}, {"status", "failed"},
                         {"cause", "plik nie istnieje"}, {"notes", null}, {"width", null}, {"height", null},
                         {"bytes", null}, {"ms", 0.0}}));
  RunSummary summary;
  summary.total = 4;
  summary.end = RunEnd::Stopped;
  summary.seconds = 1.5;
  EXPECT_EQ(Parsed(report.summaryLine(summary))["summary"].toObject(),
            QJsonObject({{"written", 1}, {"skipped", 1}, {"failed", 1}, {"total", 4}, {"end", "stopped"},
                         {"ms", 1500.0}}));
}

}  // namespace
}  // namespace velmora
