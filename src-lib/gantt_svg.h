// Gantt charts of scheduling tables as standalone SVG: one panel per mode, one lane per processor.
#ifndef MCJOBS_GANTT_SVG_H
#define MCJOBS_GANTT_SVG_H

#include <string>

#include "job.h"
#include "schedule.h"

namespace mcjobs {

/// @brief The SVG document of the HI and LO tables on `processors` lanes: HI jobs in reds, LO
/// jobs in blues, job names on the bars wide enough to hold them, a time axis with ticks under
/// each panel, `title` on top. Empty tables give empty lanes (e.g. with a failure as the title).
std::string ganttSvg(JobInstance& instance, const ScheduleTables& tables, int processors,
                     const std::string& title);

}  // namespace mcjobs

#endif  // MCJOBS_GANTT_SVG_H
