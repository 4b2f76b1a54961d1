#include "StatusPollReplies.h"

#include "StatusDecoder.h"

StatusPollReplies::Outcome StatusPollReplies::sent()
{
    const bool unanswered = pending;
    pending = true;
    return unanswered ? Outcome::Lost : Outcome::None;
}

StatusPollReplies::Outcome StatusPollReplies::read(quint8 result, const QByteArray &frame)
{
    const quint16 word = StatusDecoder::commandWord(frame);
    if (!pending || word == StatusDecoder::WordPidParam)
        return Outcome::None;
    if (result == 0 && word != StatusDecoder::WordAllStatus)
        return Outcome::None;
    pending = false;
    return result == 0 && frame.size() >= StatusDecoder::AllStatusFrameSize ? Outcome::Sampled : Outcome::Lost;
}
