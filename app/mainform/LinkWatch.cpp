// The line lost during a run: the link label says so with the time the loss
// began, and "OnLine" again when the line is back. No row is recorded for
// the gap; the recorder waits for new readings.
#include "mainform/Serialer.h"

#include "recording/RunChoices.h"

#include <QLabel>

#include <trutina.h>

bool TMainForm::watchLink(int32_t linkState, const QDateTime &now)
{
    const bool online = linkState == TRUTINA_LINK_ONLINE;
    if (online && !linkLostSince_)
        return true;
    if (online) {
        linkLostSince_.reset();
        ui_.Label6->setText(linkStateText(linkState));
    } else {
        const bool newLoss = !linkLostSince_;
        if (newLoss)
            linkLostSince_ = now;
        const QString state = linkStateText(linkState);
        ui_.Label6->setText(QStringLiteral("%1 с %2")
                                .arg(state.isEmpty() ? QStringLiteral("Нет связи") : state,
                                     format_.time(*linkLostSince_)));
        if (!newLoss)
            return false;
    }
    for (const LinkSink &sink : linkSinks_)
        sink(linkState);
    return online;
}
