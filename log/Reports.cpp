#include "log/Reports.h"

#include "profiles/Preferences.h"
#include "profiles/Profile.h"

namespace corvane {

void StoreReport(tProfile& profile, std::string_view text) {
    profile.LastRunResult = text;
    WritePref(ReportKey(profile.Name), profile.LastRunResult, ReportSection);
}

} // namespace corvane
