#include "gui/line_renderer.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <optional>

#include "report/markup.h"

namespace kinvar::gui {

namespace {

// Nothing when the attribute has no colour of its own.
std::optional<QColor> AttributeColour(char attribute) {
  switch (attribute) {
    case 'A': return QColor(0, 0, 0);
    case 'M': return QColor(20, 180, 20);
    case 'F':
    case 'I': return QColor(0, 0, 255);
    case 'C': return QColor(255, 0, 0);
    case 'X': return QColor(200, 70, 70);
    default: return std::nullopt;
  }
}

}  // namespace

std::vector<ColourRun> ColourRuns(std::string_view line, bool colour) {
  const LaidOutLine laid = LayOutLine(line, colour);
  std::vector<ColourRun> runs;
  QColor current(0, 0, 0);
  std::size_t start = 0;
  const std::size_t n = laid.text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const bool last = i + 1 == n;
    const bool endsAfterBlank = !last && laid.text[i] == ' ' && laid.text[i + 1] != ' ';
    const bool attributeChanges = !last && laid.attributes[i + 1] != laid.attributes[i];
    if (!last && !endsAfterBlank && !attributeChanges) continue;
    if (auto own = AttributeColour(laid.attributes[start])) current = *own;
    runs.push_back({QString::fromUtf8(laid.text.data() + start,
                                        static_cast<qsizetype>(i + 1 - start)),
                    current});
    start = i + 1;
  }
  return runs;
}

QString PlainText(std::string_view line) {
  const std::string text = LayOutLine(line).text;
  const std::size_t end = text.find_last_not_of(' ');
  const std::size_t length = end == std::string::npos ? 0 : end + 1;
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(length));
}

// In characters: the bytes that continue a UTF-8 character take no column.
int LaidOutLength(std::string_view line) {
  const std::string text = LayOutLine(line).text;
  return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

int DrawReportLine(QPainter& painter, std::string_view line, int x, int top, bool colour,
                   const QColor& background) {
  const QFontMetrics metrics = painter.fontMetrics();
  for (const ColourRun& run : ColourRuns(line, colour)) {
    const int width = metrics.horizontalAdvance(run.text);
    painter.fillRect(x, top, width, metrics.height(), background);
    painter.setPen(run.colour);
    painter.drawText(x, top + metrics.ascent(), run.text);
    x += width;
  }
  return x;
}

}  // namespace kinvar::gui
