// Laying out the report on A4 pages with QPdfWriter and QPainter: the run,
// its balances and their figures, the chart, the edits, the link's losses,
// the exports and the chain's hashes, in that order.
#include "report/RunReportFile.h"

#include "export/DecimalPlaces.h"
#include "journal/HeadFile.h"
#include "recording/BalanceTexts.h"
#include "recording/RunChoices.h"
#include "report/ReportChart.h"
#include "report/ReportTexts.h"
#include "report/RunReport.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <vector>

namespace pondus::report {

namespace {

constexpr int dotsPerInch = 300;
constexpr double marginMm = 15;
constexpr double bodyPoints = 9;

// The width of the chart in the page's dots: the columns its lines are
// thinned to.
int chartColumns()
{
    return int((210.0 - 2 * marginMm) / 25.4 * dotsPerInch);
}

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

// A cursor down the pages: each block asks for its height and goes on a new
// page when the rest of this one is too short.
class Pages {
public:
    Pages(QPdfWriter &writer, QPainter &painter, int run) : writer_(writer), painter_(painter), run_(run)
    {
        body_ = QFont(QStringLiteral("DejaVu Sans"));
        body_.setPointSizeF(bodyPoints);
        mono_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono_.setPointSizeF(bodyPoints);
        painter_.setFont(body_);
        area_ = QRectF(QPointF(0, 0), QSizeF(painter_.viewport().size()));
        line_ = QFontMetricsF(body_, &writer_).height() * 1.15;
        y_ = area_.top();
        footer();
    }

    double width() const { return area_.width(); }

    void title(const QString &text)
    {
        QFont font = body_;
        font.setPointSizeF(bodyPoints * 1.6);
        font.setBold(true);
        needs(line_ * 2);
        painter_.setFont(font);
        painter_.drawText(QRectF(area_.left(), y_, area_.width(), line_ * 2), Qt::AlignLeft | Qt::AlignVCenter, text);
        painter_.setFont(body_);
        y_ += line_ * 2.2;
    }

    void heading(const QString &text)
    {
        QFont font = body_;
        font.setBold(true);
        font.setPointSizeF(bodyPoints * 1.2);
        needs(line_ * 3);
        y_ += line_ * 0.6;
        painter_.setFont(font);
        painter_.drawText(QPointF(area_.left(), y_ + line_ * 0.8), text);
        painter_.setFont(body_);
        y_ += line_ * 1.3;
    }

    // A label and its value; a hash in the fixed font, on one line.
    void field(const QString &label, const QString &value, bool fixed = false)
    {
        needs(line_);
        painter_.drawText(QPointF(area_.left(), y_ + line_ * 0.8), label);
        painter_.setFont(fixed ? mono_ : body_);
        painter_.drawText(QPointF(area_.left() + area_.width() * 0.3, y_ + line_ * 0.8), value);
        painter_.setFont(body_);
        y_ += line_;
    }

    // Text wrapped to the page's width.
    void paragraph(const QString &text)
    {
        const QRectF bounds = painter_.boundingRect(QRectF(area_.left(), 0, area_.width(), 1e6), Qt::TextWordWrap, text);
        needs(bounds.height());
        painter_.drawText(QRectF(area_.left(), y_, area_.width(), bounds.height()), Qt::TextWordWrap, text);
        y_ += bounds.height() + line_ * 0.15;
    }

    // A table in columns of the given shares of the width; the first row is
    // its head, right-aligned columns from `numbersFrom` on.
    void table(const std::vector<QStringList> &rows, const std::vector<double> &shares, int numbersFrom)
    {
        for (size_t r = 0; r < rows.size(); ++r) {
            needs(line_);
            double x = area_.left();
            QFont font = body_;
            font.setBold(r == 0);
            painter_.setFont(font);
            for (int c = 0; c < rows[r].size() && size_t(c) < shares.size(); ++c) {
                const double w = area_.width() * shares[size_t(c)];
                const int align = (c >= numbersFrom ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
                painter_.drawText(QRectF(x + line_ * 0.2, y_, w - line_ * 0.4, line_), align, rows[r][c]);
                x += w;
            }
            if (r == 0)
                painter_.drawLine(QPointF(area_.left(), y_ + line_), QPointF(area_.right(), y_ + line_));
            y_ += line_;
        }
        painter_.setFont(body_);
    }

    void chart(const RunReport &report, double height)
    {
        needs(height);
        drawChart(painter_, QRectF(area_.left(), y_, area_.width(), height), report);
        y_ += height;
    }

    bool failed() const { return failed_; }

private:
    void needs(double height)
    {
        if (y_ + height <= area_.bottom() - line_ * 1.5)
            return;
        failed_ = failed_ || !writer_.newPage();
        ++page_;
        y_ = area_.top();
        footer();
    }

    void footer()
    {
        painter_.drawText(QRectF(area_.left(), area_.bottom() - line_, area_.width(), line_), Qt::AlignRight,
                          QStringLiteral("Серия № %1 — страница %2").arg(run_).arg(page_));
    }

    QPdfWriter &writer_;
    QPainter &painter_;
    int run_;
    QFont body_, mono_;
    QRectF area_;
    double line_ = 0;
    double y_ = 0;
    int page_ = 1;
    bool failed_ = false;
};

QString modeField(const RunSettings &settings)
{
    QString text = recordingModeText(settings.mode);
    if (settings.mode == RecordingMode::Periodic)
        text += QStringLiteral(", период %1 с").arg(decimal(settings.periodMs / 1000.0, settings.periodMs % 1000 ? 1 : 0));
    if (settings.mode == RecordingMode::OnNewWeight)
        text += settings.threshold == RunSettings::noThreshold
                    ? QStringLiteral(", порог не задан")
                    : QStringLiteral(", изменение веса %1 делений").arg(settings.threshold);
    return text;
}

void writeRun(Pages &pages, const RunReport &report)
{
    pages.title(QStringLiteral("Отчёт о серии измерений № %1").arg(report.run));
    const auto orUnknown = [](const std::string &text) {
        return text.empty() ? QStringLiteral("не записано") : q(text);
    };
    pages.field(QStringLiteral("Лаборатория, ПК"), orUnknown(report.host));
    QString operatorText = orUnknown(report.user);
    if (!report.operatorName.empty())
        operatorText += QStringLiteral(" (%1)").arg(q(report.operatorName));
    pages.field(QStringLiteral("Оператор"), operatorText);
    pages.field(QStringLiteral("Версия программы"), orUnknown(report.programVersion));
    pages.field(QStringLiteral("Версия библиотеки"), orUnknown(report.libraryVersion));
    pages.field(QStringLiteral("Порт"), q(report.settings.port));
    pages.field(QStringLiteral("Режим"), modeField(report.settings));
    pages.field(QStringLiteral("Начало"), localTime(report.startedUtcMs, report.utcOffsetSeconds) + QLatin1Char(' ') +
                                              offsetText(report.utcOffsetSeconds));
    pages.field(QStringLiteral("Окончание"), report.stoppedUtcMs
                                                 ? localTime(*report.stoppedUtcMs, report.utcOffsetSeconds)
                                                 : QStringLiteral("серия не завершена"));
    pages.field(QStringLiteral("Измерений"), QString::number(report.rows));

    pages.heading(QStringLiteral("Весы"));
    std::vector<QStringList> balances{
        {QStringLiteral("Весы"), QStringLiteral("Модель"), QStringLiteral("Идент. номер"), QStringLiteral("Образец")}};
    for (const BalanceFigures &figures : report.balances)
        balances.push_back({balanceCaption(figures.balance), modelDesignation(figures.model),
                            QString::number(figures.ident), q(report.settings.sampleAt(figures.balance))});
    pages.table(balances, {0.15, 0.25, 0.2, 0.4}, 9);

    pages.heading(QStringLiteral("Результаты"));
    std::vector<QStringList> figuresRows{{QStringLiteral("Весы"), QStringLiteral("Ед."), QStringLiteral("Число"),
                                          QStringLiteral("Первое"), QStringLiteral("Последнее"), QStringLiteral("Мин."),
                                          QStringLiteral("Макс."), QStringLiteral("Среднее"), QStringLiteral("СКО"),
                                          QStringLiteral("Изменение")}};
    QStringList notes;
    for (const BalanceFigures &f : report.balances) {
        const int places = decimalPlaces(f.divisor).value_or(3);
        const QString unit = f.unit >= 0 ? unitTextOf(f.unit) : QString();
        if (f.count == 0) {
            figuresRows.push_back({balanceCaption(f.balance), unit, QStringLiteral("0")});
            continue;
        }
        figuresRows.push_back({balanceCaption(f.balance), unit, QString::number(f.count), decimal(f.first, places),
                               decimal(f.last, places), decimal(f.min, places), decimal(f.max, places),
                               decimal(f.mean, places + 1), decimal(f.standardDeviation(), places + 1),
                               decimal(f.change(), places)});
        if (f.otherUnit > 0)
            notes << QStringLiteral("%1: %2 значений в другой единице не учтены.")
                         .arg(balanceCaption(f.balance))
                         .arg(f.otherUnit);
    }
    pages.table(figuresRows, {0.1, 0.05, 0.07, 0.11, 0.12, 0.11, 0.11, 0.11, 0.1, 0.12}, 2);
    for (const QString &note : notes)
        pages.paragraph(note);

    pages.heading(QStringLiteral("График"));
    pages.chart(report, pages.width() * 0.55);
}

void writeEvents(Pages &pages, const QString &heading, const std::vector<ReportEvent> &events)
{
    pages.heading(heading);
    if (events.empty())
        pages.paragraph(QStringLiteral("нет"));
    for (const ReportEvent &event : events)
        pages.paragraph(q(event.text));
}

void writeChain(Pages &pages, const RunReport &report)
{
    pages.heading(QStringLiteral("Цепочка хешей журнала"));
    const journal::ChainCheck &chain = report.chain;
    pages.paragraph(chain.intact ? QStringLiteral("Цепочка не нарушена: %1 событий.").arg(chain.links)
                                 : QStringLiteral("Цепочка нарушена: %1").arg(q(chain.broken)));
    pages.field(QStringLiteral("Голова цепочки"), q(chain.head), true);
    pages.field(QStringLiteral("Первое событие серии"), q(report.firstHash), true);
    pages.field(QStringLiteral("Последнее событие серии"), q(report.lastHash), true);
    const QString headFile = QFileInfo(q(journal::headFilePath(report.journal))).fileName();
    switch (chain.headFileState) {
    case journal::HeadFileState::Matches:
        pages.paragraph(QStringLiteral("Файл головы цепочки %1 совпадает с журналом.").arg(headFile));
        break;
    case journal::HeadFileState::Behind:
        pages.paragraph(QStringLiteral("Файл головы цепочки %1 совпадает с более ранним событием журнала; "
                                       "последние события записаны после него.")
                            .arg(headFile));
        break;
    case journal::HeadFileState::Missing:
        pages.paragraph(QStringLiteral("Файла головы цепочки %1 нет: удаление последних событий не было бы "
                                       "замечено.")
                            .arg(headFile));
        break;
    case journal::HeadFileState::Unreadable:
        pages.paragraph(QStringLiteral("Файл головы цепочки %1 не читается.").arg(headFile));
        break;
    case journal::HeadFileState::Disagrees:
        break; // the chain's break above names it
    }
    pages.paragraph(QStringLiteral("Проверка: pondus-log --verify ЖУРНАЛ печатает те же хеши."));
}

} // namespace

ReportWritten writeRunReport(const std::string &journalPath, const std::string &run, const std::string &pdfPath,
                             bool replace)
{
    ReportWritten result;
    const QString path = q(pdfPath);
    if (!replace && QFileInfo::exists(path)) {
        result.error = pdfPath + ": exists; a report does not replace a file";
        return result;
    }
    const ReportRead read = readRunReport(journalPath, run, chartColumns());
    if (!read.report) {
        result.noSuchRun = read.noSuchRun;
        result.error = read.error;
        return result;
    }
    const RunReport &report = *read.report;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = pdfPath + ": " + file.errorString().toStdString();
        return result;
    }
    bool painted = false;
    {
        QPdfWriter writer(&file);
        writer.setResolution(dotsPerInch);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(marginMm, marginMm, marginMm, marginMm), QPageLayout::Millimeter));
        writer.setTitle(QStringLiteral("Отчёт о серии измерений № %1").arg(report.run));
        writer.setCreator(QStringLiteral("PONDUS " PONDUS_VERSION));
        QPainter painter;
        if (painter.begin(&writer)) {
            Pages pages(writer, painter, int(report.run));
            writeRun(pages, report);
            writeEvents(pages, QStringLiteral("Правки оператора"), report.edits);
            writeEvents(pages, QStringLiteral("Потери связи"), report.linkLosses);
            writeEvents(pages, QStringLiteral("Экспорт"), report.exports);
            writeChain(pages, report);
            painted = painter.end() && !pages.failed();
        }
    }
    if (!painted || !file.commit()) {
        file.cancelWriting();
        result.error = pdfPath + ": " +
                       (painted ? file.errorString().toStdString() : std::string("the PDF could not be drawn"));
        return result;
    }
    result.written = true;
    result.run = report.run;
    return result;
}

} // namespace pondus::report
