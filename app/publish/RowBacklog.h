// Where the publisher takes the rows it sends: the rows of a run in order,
// kept until they have reached the broker. Implementations are read by the
// publisher's thread while the poll step appends to them.
#pragma once

#include "publish/ReadingMessage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class RowBacklog {
public:
    virtual ~RowBacklog() = default;
    // At most `limit` rows of the run with a sequence number above `after`,
    // in order.
    virtual std::vector<SequencedRow> rowsAfter(const std::string &run, int64_t after, size_t limit) = 0;
    // The broker has every row of the run up to `seq`.
    virtual void markPublished(const std::string &run, int64_t seq) = 0;
};
