// The SVG Gantt chart writer: plain text out, no drawing library, so that the tools and the
// Python module share one picture.
#include "gantt_svg.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "detail/check.h"
#include "explain.h"

namespace mcjobs {

namespace {

constexpr double kLeft = 56, kRight = 24, kPlotWidth = 920, kLane = 26, kLaneGap = 6;
constexpr double kPanelTitle = 22, kAxis = 34, kTop = 58;

// Two colour families: warm for HI jobs, cool for LO jobs; neighbours in id order differ.
const char* const kHiFill[] = {"#f4a6a6", "#f7c59f", "#f19c79", "#f6b3c4", "#e8a87c", "#f5b7b1"};
const char* const kLoFill[] = {"#a6c8f4", "#9fd8df", "#b4c7e7", "#a8e6cf", "#aed6f1", "#a3c4dc"};

// Markup characters as entities, and control characters, which XML 1.0 allows in no form,
// as the visible \xNN of the tools' messages.
std::string escaped(const std::string& text) {
  std::string out;
  for (char c : withoutControls(text)) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// A step of 1, 2 or 5 times a power of ten giving at most about ten ticks over `span`.
int64_t tickStep(int64_t span) {
  int64_t step = 1;
  while (true) {
    for (int64_t factor : {1, 2, 5})
      if (span / (step * factor) <= 10) return step * factor;
    step *= 10;
  }
}

// Where everything goes: the lanes, the time axis with its ticks, and the picture's size.
struct ChartLayout {
  int lanes = 1;
  int64_t from = INT64_MAX, to = INT64_MIN, step = 1;
  double scale = 1, panelHeight = 0, width = 0, height = 0;

  double x(int64_t t) const { return kLeft + static_cast<double>(t - from) * scale; }
};

// Lanes for the processors that run something, up to the last one used (at least one); the
// axis spans every window and segment.
ChartLayout chartLayout(JobInstance& instance, const ScheduleTables& tables, int processors) {
  ChartLayout layout;
  for (const Job& job : instance) {
    layout.from = std::min<int64_t>(layout.from, job.arrival);
    layout.to = std::max<int64_t>(layout.to, job.deadline);
  }
  for (const auto* table : {&tables.hi, &tables.lo})
    for (const ScheduleSegment& s : *table) {
      layout.lanes = std::max(layout.lanes, std::min(s.processor, processors - 1) + 1);
      layout.from = std::min(layout.from, s.start);
      layout.to = std::max(layout.to, s.end);
    }
  if (layout.from > layout.to) layout.from = 0, layout.to = 1;
  // The axis starts at a tick: 0, or the tick below the first start.
  layout.step = tickStep(layout.to - layout.from);
  layout.from = layout.from / layout.step * layout.step;
  layout.scale = kPlotWidth / static_cast<double>(layout.to - layout.from);
  layout.panelHeight = kPanelTitle + layout.lanes * (kLane + kLaneGap) + kAxis;
  layout.width = kLeft + kPlotWidth + kRight;
  layout.height = kTop + 2 * layout.panelHeight;
  return layout;
}

void writeHeading(std::ostream& svg, const ChartLayout& layout, const std::string& title) {
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << number(layout.width)
      << "\" height=\"" << number(layout.height) << "\" viewBox=\"0 0 " << number(layout.width)
      << " " << number(layout.height)
      << "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"11\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
      << "<text x=\"" << kLeft << "\" y=\"20\" font-size=\"14\" font-weight=\"bold\">"
      << escaped(title) << "</text>\n"
      << "<rect x=\"" << kLeft << "\" y=\"30\" width=\"14\" height=\"10\" fill=\"" << kHiFill[0]
      << "\" stroke=\"#a0301a\"/><text x=\"" << kLeft + 18 << "\" y=\"39\">HI job</text>\n"
      << "<rect x=\"" << kLeft + 70 << "\" y=\"30\" width=\"14\" height=\"10\" fill=\""
      << kLoFill[0] << "\" stroke=\"#1f4e79\"/><text x=\"" << kLeft + 88
      << "\" y=\"39\">LO job</text>\n";
}

void writeLanes(std::ostream& svg, const ChartLayout& layout, double lanesTop) {
  for (int p = 0; p < layout.lanes; ++p) {
    const double y = lanesTop + p * (kLane + kLaneGap);
    svg << "<rect x=\"" << kLeft << "\" y=\"" << number(y) << "\" width=\"" << kPlotWidth
        << "\" height=\"" << kLane << "\" fill=\"#f4f4f4\"/>\n"
        << "<text x=\"" << kLeft - 8 << "\" y=\"" << number(y + kLane / 2 + 4)
        << "\" text-anchor=\"end\">P" << p << "</text>\n";
  }
}

// A bar per segment, with the job's name inside when it fits; a segment of a job or processor
// the chart does not have is left out rather than drawn off the lanes.
void writeSegments(std::ostream& svg, JobInstance& instance, const ChartLayout& layout,
                   const std::vector<ScheduleSegment>& table, double lanesTop) {
  for (const ScheduleSegment& s : table) {
    if (s.job < 0 || s.job >= instance.numJobs() || s.processor < 0 || s.processor >= layout.lanes)
      continue;
    const bool hi = instance.at(s.job)->criticality == CRIT_HI;
    const size_t colour = static_cast<size_t>(s.job) % 6;
    const double y = lanesTop + s.processor * (kLane + kLaneGap);
    const double left = layout.x(s.start), barWidth = layout.x(s.end) - left;
    const std::string name = Job::nameFromId(s.job);
    svg << "<rect x=\"" << number(left) << "\" y=\"" << number(y) << "\" width=\""
        << number(barWidth) << "\" height=\"" << kLane << "\" fill=\""
        << (hi ? kHiFill[colour] : kLoFill[colour]) << "\" stroke=\""
        << (hi ? "#a0301a" : "#1f4e79") << "\" stroke-width=\"0.8\"><title>" << name << " ["
        << s.start << ", " << s.end << ") on P" << s.processor << "</title></rect>\n";
    if (barWidth >= 7.0 * static_cast<double>(name.size()) + 4)
      svg << "<text x=\"" << number(left + barWidth / 2) << "\" y=\"" << number(y + kLane / 2 + 4)
          << "\" text-anchor=\"middle\">" << name << "</text>\n";
  }
}

void writeAxis(std::ostream& svg, const ChartLayout& layout, double axisY) {
  svg << "<line x1=\"" << kLeft << "\" y1=\"" << number(axisY) << "\" x2=\"" << kLeft + kPlotWidth
      << "\" y2=\"" << number(axisY) << "\" stroke=\"#333333\"/>\n";
  for (int64_t t = layout.from; t <= layout.to; t += layout.step)
    svg << "<line x1=\"" << number(layout.x(t)) << "\" y1=\"" << number(axisY) << "\" x2=\""
        << number(layout.x(t)) << "\" y2=\"" << number(axisY + 5) << "\" stroke=\"#333333\"/>"
        << "<text x=\"" << number(layout.x(t)) << "\" y=\"" << number(axisY + 17)
        << "\" text-anchor=\"middle\">" << t << "</text>\n";
}

// One mode's table as a panel whose top edge is at `top`.
void writePanel(std::ostream& svg, JobInstance& instance, const ChartLayout& layout, int mode,
                const std::vector<ScheduleSegment>& table, double top) {
  svg << "<g class=\"panel\" id=\"" << (mode == CRIT_HI ? "hi" : "lo") << "\">\n"
      << "<text x=\"" << kLeft << "\" y=\"" << number(top + 15) << "\" font-weight=\"bold\">"
      << (mode == CRIT_HI ? "HI mode" : "LO mode") << "</text>\n";
  const double lanesTop = top + kPanelTitle;
  writeLanes(svg, layout, lanesTop);
  writeSegments(svg, instance, layout, table, lanesTop);
  writeAxis(svg, layout, lanesTop + layout.lanes * (kLane + kLaneGap));
  svg << "</g>\n";
}

}  // namespace

std::string ganttSvg(JobInstance& instance, const ScheduleTables& tables, int processors,
                     const std::string& title) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  const ChartLayout layout = chartLayout(instance, tables, processors);
  std::ostringstream svg;
  writeHeading(svg, layout, title);
  double top = kTop;
  for (int mode : {CRIT_HI, CRIT_LO}) {
    writePanel(svg, instance, layout, mode, mode == CRIT_HI ? tables.hi : tables.lo, top);
    top += layout.panelHeight;
  }
  svg << "</svg>\n";
  return svg.str();
}

}  // namespace mcjobs
