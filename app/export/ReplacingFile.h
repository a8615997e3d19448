// A file written under a temporary name in its target's folder and put in
// place by one rename once complete, for writers that take a path rather
// than an open file (libxlsxwriter). Until then any file of the target's
// name stays as it was; a temporary file not put in place is removed.
#pragma once

#include <QString>

#include <optional>

class ReplacingFile {
public:
    explicit ReplacingFile(QString target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    // Creates the empty temporary file; the system's reason on failure.
    std::optional<QString> create();
    const QString &temporaryPath() const { return temporary_; }
    // Gives the written temporary file the permissions a replaced file had,
    // flushes it to disk and renames it to the target.
    std::optional<QString> commit();

private:
    QString target_;
    QString temporary_;
    bool committed_ = false;
};
