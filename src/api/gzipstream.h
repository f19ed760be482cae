#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <memory>

// Inflates a gzip payload as it arrives (a guide served as a ".gz" file rather than with a
// content encoding), one piece at a time, so that no more than a piece of either form is
// held. Members written one after another (as `cat a.gz b.gz` makes them) follow on.
class GzipStream
{
public:
    // The two bytes every gzip member starts with.
    static bool looksCompressed(QByteArrayView head);

    GzipStream();
    ~GzipStream();
    GzipStream(const GzipStream &) = delete;
    GzipStream &operator=(const GzipStream &) = delete;

    // Hands the inflated bytes to `out` in pieces; `out` answers false to stop. False when the
    // data is not gzip or `out` stopped.
    bool inflate(QByteArrayView compressed, const std::function<bool(QByteArrayView)> &out);
    // True when the payload ended at the end of a member (nothing cut off).
    bool atEnd() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
