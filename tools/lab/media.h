#pragma once

#include "tsclip.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>

namespace Lab {

// The real media the lab serves, made by ffmpeg when the lab is built (never committed): short
// test patterns with a tone and a running clock, the words on the picture saying which clip
// plays; logos, posters and theme backgrounds.
class MediaLibrary
{
public:
    static constexpr int liveClips = 6;
    static constexpr int movieClips = 3;
    static constexpr int images = 8;
    static constexpr int themes = 4;
    static constexpr int liveSeconds = 6;
    static constexpr int movieSeconds = 60;

    explicit MediaLibrary(QString directory = defaultDirectory());

    // Where the build put the media.
    static QString defaultDirectory();
    // A bold sans-serif face for the words on the picture (from the fonts-dejavu-core package).
    static QString fontFile();
    static QStringList themeNames();

    const QString &directory() const { return m_directory; }
    // Whether every file the lab serves is there.
    bool isComplete() const;

    const TsClip *liveClip(int index) const;
    // "movie-N.EXT" for the two containers made ("mp4", "mkv"); empty when there is none.
    QString moviePath(int index, const QString &extension) const;
    // The file at these path segments ("logos", "3.png") inside the media folder; empty when
    // there is no such file or the segments would lead out of the folder.
    QString imagePath(const QStringList &segments) const;

    // One ffmpeg run: its arguments, and a text that ffmpeg reads from a file (drawn on the picture).
    struct Job
    {
        QString output;
        QStringList arguments; // "%TEXT%" stands for the text file's path
        QString text;
    };
    static Job liveClipJob(int pattern, const QString &title, const QString &output);
    // `quick` trades size for speed: for a viewer who is waiting for it.
    static Job movieJob(int pattern, const QString &title, const QString &output, bool quick = false);
    static Job remuxJob(const QString &input, const QString &output);

    // Makes every missing file in `directory`, two ffmpeg runs at a time; false (with the reason
    // written to `errors`) when one fails. Files are written under a temporary name and renamed,
    // so an interrupted run leaves no half file behind.
    static bool make(const QString &directory, QString *errors);
    // Runs one job to completion (blocking).
    static bool run(const Job &job, QString *errors);
    // ffmpeg's arguments for `job` writing to `output` (an absolute path), to be run with
    // `textDirectory` as its working folder: the job's text goes into a file there, named
    // relative to it. Nothing when that file cannot be written.
    static std::optional<QStringList> arguments(const Job &job, const QString &textDirectory, const QString &output);

private:
    QString m_directory;
    std::map<int, std::unique_ptr<TsClip>> m_clips;
};

} // namespace Lab
