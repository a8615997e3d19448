// The main window of PONDUS: settings and commands on the left, the table of
// measurements and the chart of the latest ones on the right.
#pragma once

#include "export/ExportFormat.h"
#include "recording/RunChoices.h"
#include "mainform/ReasonDialog.h"
#include "mainform/RunState.h"
#include "mainform/ui/MainFormLayout.h"
#include "recording/MeasurementRecorder.h"
#include "mainform/MeasurementTable.h"
#include "recording/ReadingSource.h"
#include "recording/RecordedRow.h"
#include "recording/RecordingSession.h"
#include "recording/ValueFormat.h"
#include "settings/SampleSettings.h"

#include <QMainWindow>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <vector>

class TAskForm;
namespace pondus::ports {
class MainFormPorts;
}

// The window observes its own session: the grid and the chart show each
// committed row, after the journal kept it and before later observers hear.
class TMainForm final : public QMainWindow, private SessionObserver {
    Q_OBJECT
public:
    using MessageSink = std::function<void(const QString &)>;
    using BeepSink = std::function<void()>;
    // Asks where and how to save the results; an empty name means cancelled.
    using SaveFileChooser = std::function<ExportTarget()>;
    // Opens a document with the desktop's program for it; false when none did.
    using DocumentOpener = std::function<bool(const QUrl &)>;

    explicit TMainForm(ReadingSource &source, QWidget *parent = nullptr);
    // Ends a run still going and writes the settings back.
    ~TMainForm() override;

    RunState &runState() { return state_; }
    // The runs this window drives; the journal and the publisher observe it.
    RecordingSession &session() { return session_; }
    const MeasurementTable &table() const { return *table_; }
    const QString &settingsPath() const { return settingsPath_; }
    // The port mapping, the window "Порты" and the reasons a port fails.
    pondus::ports::MainFormPorts &ports() { return *ports_; }
    // Where messages to the operator go; information boxes unless replaced.
    void setMessageSink(MessageSink sink) { inform_ = std::move(sink); }
    // Where the system beep goes; the desktop's beep unless replaced.
    void setBeepSink(BeepSink sink) { beep_ = std::move(sink); }
    // Where errors go; error boxes unless replaced.
    void setErrorSink(MessageSink sink) { reportError_ = std::move(sink); }
    // How the file name of an export is asked; the save dialog unless replaced.
    void setSaveFileChooser(SaveFileChooser chooser) { chooseSaveFile_ = std::move(chooser); }
    // How "Справка" opens ReadMe.txt; the desktop's program unless replaced.
    void setDocumentOpener(DocumentOpener opener) { openDocument_ = std::move(opener); }
    // Tells settingsChanged, unless there are no changes.
    void settingsConfirmed(const QString &section, const std::vector<ChangedSetting> &changes);
    // While the lab audits changes: an edited cell and a clear of the table
    // first ask why, and Cancel leaves the table as it was. Unset, nothing asks.
    void setReasonAsker(ReasonAsker asker);
    const ReasonAsker &reasonAsker() const { return askReason_; }
    // The journal's hashes of the runs of a file's first `rows` grid rows,
    // for the workbook's settings sheet.
    using ExportChain = std::function<std::optional<RunSnapshot::ChainHashes>(int rows)>;
    void setExportChain(ExportChain chain) { exportChain_ = std::move(chain); }
    // Recovery of a table the journal kept: its rows in order, the captions
    // and chart of each run after its last row, then the operator's edits.
    void restoreRow(const RecordedRow &row);
    void restoreCaptions(const RecordedRow &lastRow, int32_t measurementBound);
    void restoreEdit(int row, int column, const QString &text);
    // A measurement row of the table as every sample's reference mass, as
    // the operator picks it or a restore puts it back; false for another row.
    bool setReferenceRow(int row) { return table_->setReferenceRow(row); }
    // The settings of a run as the controls give them now; a run takes them
    // at "Начать", and no poll reads the controls again.
    RunSettings runSettings() const;
    // The grid row the next measurement fills.
    int currentRow() const;
    // What the chart's lines show: the masses, or each sample's change from
    // its reference in the run's unit or in percent; redrawn at once.
    void setChartQuantity(ChartQuantity quantity);
    ChartQuantity chartQuantity() const { return chartQuantity_; }
    // "Весы №j", and " — <sample>" when the run names its sample.
    QString legendCaption(int j) const;

signals:
    // The table was emptied, with the operator's reason while the lab audits
    // changes.
    void cleared(const QString &reason);
    // The table was written to a file: the file and its rows.
    void exported(const QString &path, int rows);
    // The operator confirmed changed settings of a section.
    void settingsChanged(const QString &section, const std::vector<ChangedSetting> &changes);

public slots:
    // One poll: fetch the readings, refresh headers and titles, and record a
    // measurement when every balance has a new reading and the mode admits it.
    void Timer2Timer();
    // "Начать": checks the settings, selects the port, waits for the line to
    // come on line and starts polling.
    void WeightButtonClick();
    // "Прервать": stops polling; the library goes on reading the line.
    void StopButtonClick();
    // The period choice decides whether the change threshold applies.
    void ComboBox1Change();
    // A click on the balance list after a run asks whether to clear the window.
    void FileCheckListBoxClick();
    // Acts on the clear question once it has been closed.
    void Timer5Timer();
    // "Сохранить в файл": writes the table to a file the operator names.
    void ApplyButton1Click();
    // "Очистить окно": empties the table and the chart without asking.
    void ClearButtonClick();
    // "Справка": opens ReadMe.txt, in the window's own viewer when no program
    // on the desktop does, or says that there is none.
    void N1Click();
    // "Закрыть" in the notification area's menu: ends the program.
    void N2Click();

private:
    void readSettings();
    void writeSettings();
    void colourMaxDif();
    void setSettingsEnabled(bool enabled);
    void showIdleControls();
    void connectControls();
    // Key filters of the typed fields: a refused character is set to 0.
    void filterKeys();
    void ComCBKeyPress(QChar &key);
    void MaxDifKeyPress(QChar &key);
    void SizeEditKeyPress(QChar &key);
    void ComboBox1KeyPress(QChar &key);
    void refuseUnless(QChar &key, const QString &allowed, QWidget *refocus, bool tell);
    // Settings and controls as the window opens; the run's end and the
    // settings written back as it closes.
    void FormCreate();
    void FormDestroy();
    bool isChecked(int item) const;

    // Steps of the start.
    // Polls the session until the run has started, at most linkWaitMs.
    bool waitForLink();
    // The check marks into savedSelection.
    void rememberSelection();

    // Table, chart and export buffer back to empty.
    void clearWindow(const QString &reason);
    // Why the table is cleared, when the lab audits changes: nothing when the
    // operator cancelled.
    std::optional<QString> clearReason();

    // Steps of the poll.
    void writeTitleRow();
    void writeHeaders(const std::vector<BalanceCaption> &captions);
    // Shows the link lost, with the time it began, and back; false while
    // it is lost.
    bool showLink();
    // The run stopped because a balance under recorded rows is another one now.
    void showReplacedBalance(const CaptionChange &replacement);
    QList<QPointF> chartWindow(int column, int32_t first, int32_t newest) const;
    // A mass of the balance in `slot` as the chart shows it; nothing where
    // its sample has no reference to compare with.
    std::optional<double> chartValue(size_t slot, double mass) const;
    void rowCommitted(const CommittedRow &row) override;
    void chartBalance(int j, int column);

    ReadingSource &source_;
    RecordingSession session_;
    ValueFormat format_;
    MainFormLayout ui_;
    MeasurementTable *table_ = nullptr;
    RunState state_;
    QString settingsPath_ = QStringLiteral("PONDUS.ini");
    // What stood at settingsPath_ at the start was no settings file.
    bool settingsUnusable_ = false;
    MessageSink inform_;
    MessageSink reportError_;
    BeepSink beep_;
    SaveFileChooser chooseSaveFile_;
    DocumentOpener openDocument_;
    ReasonAsker askReason_;
    ExportChain exportChain_;
    // Label6 says that the line is lost.
    bool linkShownLost_ = false;
    // The clear question, made on first use and asked again each time; a
    // child of the window.
    TAskForm *askForm_ = nullptr;
    ChartQuantity chartQuantity_ = ChartQuantity::Mass;
    pondus::ports::MainFormPorts *ports_ = nullptr; // a child of the window
};
