#pragma once
// The run-time error texts that the print command reports through, and the
// text of such a report.

#include <cstdint>
#include <string>

#include "session/shared_state.h"

namespace quillon {

/// Fills ErrorText with the program's 32 entries; every other number holds "".
void FillErrorText(SharedState& state);

/// The text of an error report for run-time error `number`: the number as a
/// signed decimal (a leading blank when not negative), one blank, then
/// ErrorText(number) — " 27 Error 27: Out of paper.". A number outside
/// 0..1000 has no table entry; it reads " 1234 Error 1234." so the report
/// still says what happened.
std::string ErrorReportText(const SharedState& state, int32_t number);

}  // namespace quillon
