// The line lost during a run: the link label says so with the time the loss
// began, and "OnLine" again when the line is back. No row is recorded for
// the gap; the recorder waits for new readings.
#include "mainform/Serialer.h"

#include "recording/RunChoices.h"

#include <QLabel>

#include <trutina.h>

bool TMainForm::showLink()
{
    const std::optional<int64_t> lostSince = session_.linkLostSinceUtcMs();
    if (!lostSince) {
        if (linkShownLost_)
            ui_.Label6->setText(linkStateText(TRUTINA_LINK_ONLINE));
        linkShownLost_ = false;
        return true;
    }
    const QString state = linkStateText(session_.block().linkState());
    ui_.Label6->setText(QStringLiteral("%1 с %2")
                            .arg(state.isEmpty() ? QStringLiteral("Нет связи") : state,
                                 format_.time(QDateTime::fromMSecsSinceEpoch(*lostSince))));
    linkShownLost_ = true;
    return false;
}
