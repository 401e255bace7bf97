#pragma once

namespace mosscatch {

struct TransferRecord;

// Where a transfer hands each complete page it fetched.
class PageSink
{
public:
    enum class Outcome { Done, UnexpectedShape };

    virtual ~PageSink() = default;
    // Takes the page record holds (data, target, url, path). On a page of
    // unexpected shape the transfer tries again.
    [[nodiscard]] virtual Outcome process(const TransferRecord &record) = 0;
};

}
