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

}  // namespace

std::string ganttSvg(JobInstance& instance, const ScheduleTables& tables, int processors,
                     const std::string& title) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  // Lanes for the processors that run something, up to the last one used (at least one); the
  // axis spans every window and segment.
  int lanes = 1;
  int64_t from = INT64_MAX, to = INT64_MIN;
  for (const Job& job : instance) {
    from = std::min<int64_t>(from, job.arrival);
    to = std::max<int64_t>(to, job.deadline);
  }
  for (const auto* table : {&tables.hi, &tables.lo})
    for (const ScheduleSegment& s : *table) {
      lanes = std::max(lanes, std::min(s.processor, processors - 1) + 1);
      from = std::min(from, s.start);
      to = std::max(to, s.end);
    }
  if (from > to) from = 0, to = 1;
  // The axis starts at a tick: 0, or the tick below the first start.
  const int64_t step = tickStep(to - from);
  from = from / step * step;
  const double scale = kPlotWidth / static_cast<double>(to - from);
  const double panelHeight = kPanelTitle + lanes * (kLane + kLaneGap) + kAxis;
  const double width = kLeft + kPlotWidth + kRight, height = kTop + 2 * panelHeight;
  auto x = [&](int64_t t) { return kLeft + static_cast<double>(t - from) * scale; };

  std::ostringstream svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << number(width) << "\" height=\""
      << number(height) << "\" viewBox=\"0 0 " << number(width) << " " << number(height)
      << "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"11\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
      << "<text x=\"" << kLeft << "\" y=\"20\" font-size=\"14\" font-weight=\"bold\">"
      << escaped(title) << "</text>\n"
      << "<rect x=\"" << kLeft << "\" y=\"30\" width=\"14\" height=\"10\" fill=\"" << kHiFill[0]
      << "\" stroke=\"#a0301a\"/><text x=\"" << kLeft + 18 << "\" y=\"39\">HI job</text>\n"
      << "<rect x=\"" << kLeft + 70 << "\" y=\"30\" width=\"14\" height=\"10\" fill=\""
      << kLoFill[0] << "\" stroke=\"#1f4e79\"/><text x=\"" << kLeft + 88
      << "\" y=\"39\">LO job</text>\n";

  double top = kTop;
  for (int mode : {CRIT_HI, CRIT_LO}) {
    const std::vector<ScheduleSegment>& table = mode == CRIT_HI ? tables.hi : tables.lo;
    svg << "<g class=\"panel\" id=\"" << (mode == CRIT_HI ? "hi" : "lo") << "\">\n"
        << "<text x=\"" << kLeft << "\" y=\"" << number(top + 15) << "\" font-weight=\"bold\">"
        << (mode == CRIT_HI ? "HI mode" : "LO mode") << "</text>\n";
    const double lanesTop = top + kPanelTitle;
    for (int p = 0; p < lanes; ++p) {
      const double y = lanesTop + p * (kLane + kLaneGap);
      svg << "<rect x=\"" << kLeft << "\" y=\"" << number(y) << "\" width=\"" << kPlotWidth
          << "\" height=\"" << kLane << "\" fill=\"#f4f4f4\"/>\n"
          << "<text x=\"" << kLeft - 8 << "\" y=\"" << number(y + kLane / 2 + 4)
          << "\" text-anchor=\"end\">P" << p << "</text>\n";
    }
    for (const ScheduleSegment& s : table) {
      if (s.job < 0 || s.job >= instance.numJobs() || s.processor < 0 || s.processor >= lanes)
        continue;
      const bool hi = instance.at(s.job)->criticality == CRIT_HI;
      const size_t colour = static_cast<size_t>(s.job) % 6;
      const double y = lanesTop + s.processor * (kLane + kLaneGap);
      const double left = x(s.start), barWidth = x(s.end) - left;
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
    const double axisY = lanesTop + lanes * (kLane + kLaneGap);
    svg << "<line x1=\"" << kLeft << "\" y1=\"" << number(axisY) << "\" x2=\"" << kLeft + kPlotWidth
        << "\" y2=\"" << number(axisY) << "\" stroke=\"#333333\"/>\n";
    for (int64_t t = from; t <= to; t += step)
      svg << "<line x1=\"" << number(x(t)) << "\" y1=\"" << number(axisY) << "\" x2=\""
          << number(x(t)) << "\" y2=\"" << number(axisY + 5) << "\" stroke=\"#333333\"/>"
          << "<text x=\"" << number(x(t)) << "\" y=\"" << number(axisY + 17)
          << "\" text-anchor=\"middle\">" << t << "</text>\n";
    svg << "</g>\n";
    top += panelHeight;
  }
  svg << "</svg>\n";
  return svg.str();
}

}  // namespace mcjobs
