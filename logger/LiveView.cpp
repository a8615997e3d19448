#include "LiveView.h"

#include "recording/BalanceTexts.h"

namespace pondus::logger {

LiveView::LiveView(std::FILE *out, bool terminal, RowText text, std::vector<int32_t> balances)
    : out_(out), terminal_(terminal), text_(std::move(text)), balances_(std::move(balances))
{
}

void LiveView::showPoll(const trutina::Block &block, int64_t rows, std::chrono::milliseconds elapsed)
{
    if (!terminal_)
        return;
    const long long seconds = elapsed.count() / 1000;
    // Home and clear below, so that the view stays in place without flicker.
    std::fprintf(out_, "\033[H\033[Jpondus-log  link: %s  port: COM%d  balances on line: %d\n",
                 trutina::linkStateName(block.linkState()), block.currentPort(), block.balanceCount());
    std::fprintf(out_, "rows recorded: %lld  elapsed: %02lld:%02lld:%02lld\n\n", static_cast<long long>(rows),
                 seconds / 3600, seconds / 60 % 60, seconds % 60);
    std::fprintf(out_, " pos  model      ident      weight\n");
    for (const int32_t j : balances_) {
        if (j > block.balanceCount())
            continue;
        std::fprintf(out_, " %3d  %-9s  %-9d  %.15g %s%s\n", j, modelDesignation(block.modelCode(j)).toUtf8().constData(),
                     block.identNumber(j), block.weight(j), block.unit(j), block.stable(j) ? "" : "  (settling)");
    }
    std::fflush(out_);
}

void LiveView::showRow(const RecordedRow &row)
{
    if (terminal_)
        return;
    std::fprintf(out_, "%s\n", text_.row(row).c_str());
    std::fflush(out_);
}

} // namespace pondus::logger
