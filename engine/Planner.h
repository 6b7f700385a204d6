// The planning passes that turn the scanned entries of a profile into the plan the user
// reviews and the executor carries out: comparison of files present on both sides, the
// moved-file search, and the filtered status list with its statistics.
#pragma once

#include "profiles/FileList.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

class tProfile;

// True when the two times differ by at most 2 seconds (with ignore2Secs) or by exactly 3600
// seconds (with ignore1Hour). Equal times are not a match by themselves.
bool TimesMatch(int64_t a, int64_t b, bool ignore2Secs, bool ignore1Hour);
bool TimesMatch(const TSearchRec& a, const TSearchRec& b, bool ignore2Secs, bool ignore1Hour);
bool TimesMatch(const TEntrySide& a, const TEntrySide& b, bool ignore2Secs, bool ignore1Hour);

// Pass 1: decides for every file present on both sides (action 3) whether it is equal (0),
// within the time tolerance (stays 3) or which newer side is copied (1, 2). Sets
// DefaultAction. Asks nothing.
void CompareEntries(tProfile& profile);

// Pass 2: pairs a right-only file with the first left-only file of the same name, size and
// (tolerant) time; both halves get action 5 and the partner's folder in MovedPath. Runs only
// with DetectMoved and items read on both sides; files at or below a folder their absent
// side could not read take no part. Shows the progress window with a "Skip" button and lets
// events run every 100 candidates; "Skip" keeps the pairs found so far.
void FindMovedFiles(tProfile& profile);

// Pass 3: applies the exact-mirror rules, chooses the shown rows under profile.Filter, fills
// RowIndex (row 0 is the header, -1), the Shown/ShownIndex/AffectedIndex fields and the plan
// statistics, then calls UpdateStatusSummary. An attached profile.StatusList follows the new
// rows. One-sided entries at or below a folder their absent side could not read are never
// acted on. Asks nothing and lets no events run.
void BuildStatusList(tProfile& profile);

// Writes the five summary texts of profile.Stats into the attached status list, if any.
void UpdateStatusSummary(tProfile& profile);

// The action column's text: "---->", "<----", "CONFLICT", "MOVE", "DELETE" or "".
std::string_view ActionText(tAction action);

// Summary size: "1.5GB", "12.0MB", "0.5kB" (one decimal, no blank before the unit).
std::string SummarySizeText(int64_t bytes);
// count + " (" + SummarySizeText(bytes) + ")".
std::string SummaryText(int64_t count, int64_t bytes);

} // namespace corvane
