// A balance line for protocol tests, scripted frame by frame: the reply to
// a frame, chosen by the test, comes back during the next frame, as on the
// real line. Single bytes (the counting) are answered by their own script.
#pragma once

#include "ByteExchanger.h"
#include "Frames.h"

#include <functional>
#include <optional>
#include <vector>

namespace trutina::testing {

// A reply whose sums are right, as a balance sends it.
inline Frame validReply(uint8_t status, uint32_t value24, uint8_t position)
{
    Frame frame{};
    frame[3] = status;
    frame[4] = static_cast<uint8_t>(value24 >> 16);
    frame[5] = static_cast<uint8_t>(value24 >> 8);
    frame[6] = static_cast<uint8_t>(value24);
    frame[0] = frame[5];
    frame[1] = frame[6];
    frame[2] = static_cast<uint8_t>(-(frame[3] + frame[4] + frame[5] + frame[6]));
    frame[7] = position;
    return frame;
}

class ScriptedLine : public ByteExchanger {
public:
    // The answer to a request frame, or nothing (bytes come back unchanged).
    std::function<std::optional<Frame>(const Frame &request)> answer = [](const Frame &) {
        return std::optional<Frame>{};
    };
    std::function<uint8_t(uint8_t)> answerByte = [](uint8_t byte) { return byte; };
    int failAfterFrames = -1; // the exchange of frame number n fails (0-based)

    std::vector<Frame> frames;       // requests as sent
    std::vector<uint8_t> singleBytes; // single bytes as sent
    std::vector<size_t> settledAfter; // frames sent when the protocol let the line settle

    bool exchange(uint8_t *buffer, int length) override
    {
        if (length == 1) {
            singleBytes.push_back(buffer[0]);
            buffer[0] = answerByte(buffer[0]);
            return true;
        }
        if (static_cast<int>(frames.size()) == failAfterFrames)
            return false;
        Frame request;
        std::copy(buffer, buffer + 8, request.begin());
        frames.push_back(request);
        if (pending_)
            std::copy(pending_->begin(), pending_->end(), buffer);
        pending_ = answer(request);
        return true;
    }

    bool settle(std::chrono::microseconds) override
    {
        settledAfter.push_back(frames.size());
        return true;
    }

    std::vector<int> positionsAsked() const
    {
        std::vector<int> positions;
        for (const Frame &frame : frames)
            positions.push_back(frame[7]);
        return positions;
    }

private:
    std::optional<Frame> pending_;
};

} // namespace trutina::testing
