// The action executor: carries out the shown entries of a profile's plan.
#pragma once

namespace corvane {

class tProfile;

// Carries out every shown entry's action in plan order (folders, copies both ways, moves,
// deletions, links), asking the overwrite and delete questions in attended runs and answering
// them from the unattended permissions otherwise. Waits for files that cannot be opened as the
// profile's Wait and WaitMins say. Entries done get Action 3, entries not carried out Action 6
// with their code in ExecResult. Sets LastRunResult, ResultList and FailedCount, and in
// attended runs shows the copying result window. Lets events run between entries and chunks;
// the copying window's Cancel ends the execution early. Writes the log lines of its
// operations while the run log is open. At the end (also after a cancel), every folder it
// wrote into (a file or folder made, replaced, moved in or out, deleted), the base folders
// included, gets the model's modification time: the other side's scanned time, or the later
// of both where both sides were written; not in a "Show Only" run of moved files. A folder
// whose time cannot be set keeps its own without a failure.
void ExecutePlan(tProfile& profile);

// Removes the copy-temporary files of an interrupted earlier run that the scan found on the
// side the run writes to (only names of the executor's own form), each with a run-log line
// while the log is open, and empties the profile's list of them.
void RemoveLeftoverTempFiles(tProfile& profile);

} // namespace corvane
