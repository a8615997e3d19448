// The window's check of the journal and its words for what the walk found.
#include "mainform/JournalCheck.h"

#include <QAction>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QMenuBar>
#include <QtConcurrent/QtConcurrentRun>

using pondus::journal::ChainBreak;
using pondus::journal::ChainCheck;

namespace {

// The column of an edited cell as the grid's captions name it.
QString columnText(const QJsonObject &cell)
{
    const QString column = cell.value(QStringLiteral("column")).toString();
    const int balance = cell.value(QStringLiteral("balance")).toInt();
    if (column == QLatin1String("value"))
        return QStringLiteral("масса весов №%1").arg(balance);
    if (column == QLatin1String("unit"))
        return QStringLiteral("единица весов №%1").arg(balance);
    if (column == QLatin1String("time"))
        return QStringLiteral("время");
    if (column == QLatin1String("date"))
        return QStringLiteral("дата");
    return column == QLatin1String("number") ? QStringLiteral("№") : column;
}

// The row or event, with the run, row and column an edit names.
QString whatText(const ChainBreak &at)
{
    if (at.isRow)
        return QStringLiteral("Прогон %1, строка %2 (№ %3)").arg(at.run).arg(at.seq).arg(at.number);
    QString what = QStringLiteral("Событие %1 (%2").arg(at.event).arg(QString::fromStdString(at.kind));
    if (at.run != 0)
        what += QStringLiteral(", прогон %1").arg(at.run);
    const QJsonObject detail = QJsonDocument::fromJson(QByteArray::fromStdString(at.detail)).object();
    if (at.kind == "cell_edit" && detail.contains(QStringLiteral("seq")))
        what += QStringLiteral(", строка %1, столбец «%2»")
                    .arg(detail.value(QStringLiteral("seq")).toInteger())
                    .arg(columnText(detail));
    return what + u')';
}

QString faultText(const ChainBreak &at)
{
    using Fault = ChainBreak::Fault;
    switch (at.fault) {
    case Fault::Unlinked:
        return QStringLiteral("не входит в цепочку: добавлено в обход программы");
    case Fault::Repeated:
        return QStringLiteral("повторяет звено %1: вставлено лишнее").arg(at.link);
    case Fault::Missing:
        return at.link - 1 > at.missingFrom
                   ? QStringLiteral("перед ним нет звеньев %1–%2: удалены").arg(at.missingFrom).arg(at.link - 1)
                   : QStringLiteral("перед ним нет звена %1: удалено").arg(at.missingFrom);
    case Fault::Changed:
        return QStringLiteral("не совпадает со своим хешем (звено %1): изменено").arg(at.link);
    case Fault::LastRemoved:
        return QStringLiteral("Файл головы цепочки %1 называет %2 событий, а в журнале их %3: последние события "
                              "удалены")
            .arg(QDir::toNativeSeparators(QString::fromStdString(at.reason)))
            .arg(at.link)
            .arg(at.missingFrom - 1);
    case Fault::HeadDiffers:
        return QStringLiteral("Файл головы цепочки %1 называет другой хеш для события %2: цепочка переписана")
            .arg(QDir::toNativeSeparators(QString::fromStdString(at.reason)))
            .arg(at.link);
    case Fault::Unreadable:
    case Fault::OtherSchema:
        break;
    }
    return QString::fromStdString(at.reason);
}

// The operator's words for what a walk of the file at path found.
QString resultText(const QString &path, const ChainCheck &check)
{
    const QString file = QDir::toNativeSeparators(path);
    if (check.intact)
        return QStringLiteral("Журнал цел: %1 событий, последний хеш %2%3\n%4")
            .arg(check.links)
            .arg(QString::fromStdString(check.head),
                 check.pruned > 0 ? QStringLiteral("\nиз них %1 удалены вместе со старыми таблицами").arg(check.pruned)
                                  : QString(),
                 file);
    const ChainBreak &at = *check.fault;
    if (at.fault == ChainBreak::Fault::Unreadable || at.fault == ChainBreak::Fault::OtherSchema)
        return QStringLiteral("Журнал не удаётся проверить:\n%1\n%2").arg(file, faultText(at));
    if (at.fault == ChainBreak::Fault::LastRemoved || at.fault == ChainBreak::Fault::HeadDiffers)
        return QStringLiteral("Журнал изменён в обход программы:\n%1\n\n%2.\n\nЖурнал оставлен как есть, ничего не "
                              "исправлено.")
            .arg(file, faultText(at));
    return QStringLiteral("Журнал изменён в обход программы:\n%1\n\n%2 %3.\nДо этого места цепочка цела: %4 "
                          "событий.\n\nЖурнал оставлен как есть, ничего не исправлено.")
        .arg(file, whatText(at), faultText(at))
        .arg(check.links);
}

} // namespace

JournalCheck::JournalCheck(QMainWindow &window, QString path, Notice notice)
    : path_(std::move(path)), notice_(std::move(notice))
{
    auto *check = new QAction(QStringLiteral("Проверить журнал"), this);
    check->setObjectName(QStringLiteral("CheckJournalMenuItem"));
    window.menuBar()->addAction(check);
    connect(check, &QAction::triggered, this, [this] { start(false); });
    connect(&watcher_, &QFutureWatcher<ChainCheck>::finished, this, &JournalCheck::tell);
}

JournalCheck::~JournalCheck()
{
    watcher_.waitForFinished();
}

void JournalCheck::start(bool quiet)
{
    if (running_) {
        quiet_ = quiet_ && quiet;
        return;
    }
    running_ = true;
    quiet_ = quiet;
    watcher_.setFuture(QtConcurrent::run([path = path_.toStdString()] { return pondus::journal::verifyChain(path); }));
}

void JournalCheck::tell()
{
    running_ = false;
    const ChainCheck check = watcher_.result();
    if (!check.intact || !quiet_)
        notice_(resultText(path_, check));
}
