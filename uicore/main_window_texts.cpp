#include "uicore/main_window_texts.h"

#include "engine/run_events.h"
#include "engine/undo.h"

namespace nandell::main_window_texts {

std::string RunEndProblemLine(const RunEndEvent& event) {
  if (!event.error_file_problem.empty()) return Tr(kReportProblem) + event.error_file_problem;
  if (event.error_file.empty() && !event.journal_problem.empty())
    return Tr(kJournalProblem) + event.journal_problem;
  return std::string();
}

std::string FailureListLine(const RunEndEvent& event) {
  return event.error_file.empty() ? std::string() : Tr(kFailureList) + event.error_file;
}

std::string UndoOutcomeText(const UndoEndEvent& end, const std::string& refusal) {
  std::string outcome = refusal.empty() ? end.summary : refusal;
  if (end.stopped) outcome += std::string("\r\n") + Tr(kUndoStoppedText);
  return outcome;
}

}  // namespace nandell::main_window_texts
