// The choices of a pondus-log run, from the command line and, with --ini,
// from the window's saved settings, which the command line overrides.
#pragma once

#include "dashboard/DashboardSettings.h"
#include "settings/MqttIniSection.h"
#include "recording/ConstantMassCriterion.h"
#include "recording/RecordedRow.h"

#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pondus::logger {

enum class FileFormat { Tsv, Csv, Xlsx };

struct LoggerOptions {
    // Port, mode, period, threshold, balances and the samples' names
    // ([Samples] of --ini, then --sample); no balances means every
    // balance on the line (at most ten), taken when the line comes on line.
    RunSettings run;
    int32_t portNumber = 0;  // 1..4 for COM1..COM4, 0 for the automatic search
    std::string devicePath;  // a device given instead of COMn; played as COM1
    int64_t count = 0;       // rows to record; 0 for no limit
    std::chrono::milliseconds duration{0};     // 0 for no limit
    std::chrono::milliseconds linkTimeout{30'000}; // 0 waits for ever
    // When a sample counts as constant: --until-constant, else
    // [Experiment] ConstantMass of --ini, else 0,1 % over 60 min.
    ConstantMassCriterion constantMass;
    bool untilConstant = false; // stop once every balance of the run has reached it
    std::string outputPath;
    FileFormat format = FileFormat::Tsv;
    std::string libraryPath; // empty: beside the program, then installed, then the system's search
    MqttSettings mqtt;       // [MQTT] of --ini, then the --mqtt flags
    // The measurement journal the rows also go to: --journal, else the Path
    // of [Journal] in --ini; empty for none.
    std::string journalPath;
    // Operator= of [Audit] in --ini: a display name beside the system account.
    std::string operatorName;
    // --verify: walk this journal's hash chain instead of recording.
    std::string verifyPath;
    // --report: the run (its id or "last") whose report goes to outputPath,
    // read from journalPath, instead of recording.
    std::string reportRun;
    std::string collectPrefix; // set: collect what every PC publishes under it instead of recording
    std::string collectDb;
    DashboardSettings dashboard; // [Dashboard] of --ini, then the --http flags; with --collect only
    // Values of [MQTT] in --ini that could not be taken and what is used
    // instead, but for those a flag overrides: told before the run starts.
    std::vector<MqttSectionWarning> mqttWarnings;
};

struct ParsedCommandLine {
    std::optional<LoggerOptions> options; // set when the run may start
    int exitCode = 0;                     // otherwise: how to end
    std::string text;                     // help or version (stdout), or the one-line error (stderr)
};

// Parses the arguments (the program name first). The output file name,
// when none is given, is made from startUtcMs.
ParsedCommandLine parseCommandLine(const QStringList &arguments, int64_t startUtcMs);

} // namespace pondus::logger
