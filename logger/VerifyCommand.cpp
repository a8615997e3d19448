// Prints what the chain's walk found.
#include "VerifyCommand.h"

#include "ExitCodes.h"
#include "journal/ChainVerifier.h"

#include <QDateTime>

#include <cstdio>

namespace pondus::logger {

int verifyJournal(const std::string &path)
{
    const auto utcText = [](int64_t utcMs) {
        const QDateTime utc = QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC);
        return utc.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss'Z'")).toStdString();
    };
    const journal::ChainCheck check = journal::verifyChain(path);
    for (const journal::ChainRun &run : check.runs)
        std::printf("run %lld: start %s, stop %s, %lld rows, first %s, last %s\n", (long long)run.run,
                    utcText(run.startedMs).c_str(), run.stoppedMs ? utcText(*run.stoppedMs).c_str() : "-",
                    (long long)run.rows, run.firstHash.c_str(), run.lastHash.c_str());
    if (!check.intact) {
        std::fprintf(stderr, "pondus-log: %s: after %lld intact events: %s\n", path.c_str(), (long long)check.links,
                     check.broken.c_str());
        return chainBroken;
    }
    std::printf("intact: %lld events, head %s\n", (long long)check.links, check.head.c_str());
    if (check.pruned > 0)
        std::printf("%lld of them deleted with old tables, as the journal's pruning events name them\n",
                    (long long)check.pruned);
    std::printf("%s\n", check.headFile.c_str());
    return done;
}

} // namespace pondus::logger
