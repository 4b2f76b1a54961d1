#ifndef KORVEX_STATUSHISTORY_H
#define KORVEX_STATUSHISTORY_H

#include "WatchOutput.h"

#include <vector>

// Every poll of the last 24 hours as it came (the whole status, or lost),
// oldest first, in a ring of fixed capacity, so that what the trend window
// keeps can be written out again through any sample output, exactly as
// `korvexctl watch` would have written it then.
class StatusHistory : public WatchOutput
{
public:
    // 24 hours at two polls a second.
    static constexpr int DefaultCapacity = 24 * 3600 * 2;

    explicit StatusHistory(int capacity = DefaultCapacity);

    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;

    int size() const { return count; }
    // Hands every poll kept to output, oldest first; false (with the
    // output's errorText) when the output stops taking them.
    bool replay(WatchOutput &output) const;

private:
    struct Poll
    {
        QDateTime time;
        bool valid = false;
        DevStatusCache cache;
    };
    void keep(Poll poll);

    std::vector<Poll> ring;
    int first = 0;
    int count = 0;
};

#endif
