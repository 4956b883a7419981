#pragma once

#include <string>
#include <vector>

#include "remote/FolderReader.h"

class FtpControl;

// Asks a logged-in control connection about several folders in one round
// trip: for each "CWD <path>", "PWD", "MLST" (when asked for) and "STAT .",
// then one "NOOP" whose reply must come last. No data connection is used.
//
// Replies are checked against their commands: a reply that does not fit (a
// name holding a line break, an unsolicited or preliminary reply) means the
// replies came out of step, and nothing more read on this connection may be
// trusted.
class FolderProbe {
public:
    using Result = FolderReading;

    FolderProbe(FtpControl& control, bool useMlst) : control_(control), useMlst_(useMlst) {}

    // Probes the folders at the given paths. Returns how many were answered
    // in full; fewer than asked when the connection broke or went silent
    // (the next one is the folder left unanswered), or when the replies came
    // out of step (then outOfStep() is true). With identitiesFirst, the
    // server is first asked, in the same round trip, to send the MLST facts
    // "type" and "unique" (once per login; a refusal is fine).
    size_t probe(const std::vector<std::string>& paths, std::vector<Result>& results, bool identitiesFirst = false);

    bool outOfStep() const { return outOfStep_; }

private:
    FtpControl& control_;
    bool useMlst_;
    bool outOfStep_ = false;
};
