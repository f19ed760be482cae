#include "media.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <array>

#ifndef MAVU_LAB_MEDIA_DIR
#define MAVU_LAB_MEDIA_DIR ""
#endif

namespace Lab {

namespace {

using namespace Qt::StringLiterals;

const std::array patterns{
    u"testsrc2=size=640x360:rate=25"_s,
    u"smptehdbars=size=640x360:rate=25"_s,
    u"gradients=size=640x360:rate=25:speed=0.02:c0=0x1d3557:c1=0xe63946:c2=0xf1faee"_s,
    u"yuvtestsrc=size=640x360:rate=25"_s,
    u"testsrc=size=640x360:rate=25"_s,
    u"gradients=size=640x360:rate=25:speed=0.03:c0=0x0b3d2e:c1=0xf4a261:c2=0x2a9d8f"_s,
};
const std::array tones{330, 392, 440, 523, 587, 659};
const std::array clipNames{u"Clip A"_s, u"Clip B"_s, u"Clip C"_s, u"Clip D"_s, u"Clip E"_s, u"Clip F"_s};
const std::array movieNames{u"Movie A"_s, u"Movie B"_s, u"Movie C"_s};
const std::array imageColours{u"0x8a4f0c"_s, u"0x1d3557"_s, u"0x2a9d8f"_s, u"0xe63946"_s,
                              u"0x6a4c93"_s, u"0x3a5a40"_s, u"0xbc6c25"_s, u"0x264653"_s};
// Theme backgrounds: two colours of a diagonal gradient each.
const std::array<std::pair<QString, QString>, 4> themeColours{{
    {u"0x2b1a05"_s, u"0x8a4f0c"_s},
    {u"0x020b1f"_s, u"0x1d4e89"_s},
    {u"0x05170f"_s, u"0x2f6b3f"_s},
    {u"0x111111"_s, u"0x4a4f57"_s},
}};

// Filter arguments give ":", "," and "\" meanings of their own; the system's font path holds
// none of them, and the text file is named relative to ffmpeg's working folder for the same reason.
QString escapedFontFile()
{
    return MediaLibrary::fontFile();
}

QString titleFilter()
{
    return u"drawtext=fontfile=%1:textfile=%TEXT%:expansion=none:fontsize=34:fontcolor=white"
           ":box=1:boxcolor=black@0.55:boxborderw=14:x=(w-text_w)/2:y=(h-text_h)/2"_s.arg(escapedFontFile());
}

QString clockFilter()
{
    return u"drawtext=fontfile=%1:text='%{pts\\:hms}':fontsize=20:fontcolor=white"
           ":box=1:boxcolor=black@0.5:boxborderw=6:x=14:y=14"_s.arg(escapedFontFile());
}

// `audioSeconds` a little shorter than the picture lets a looped clip's sound end before the
// next round begins: audio frames (1024 samples) do not divide six seconds evenly, and sound
// running over the seam would go back in time.
QStringList mediaArguments(int pattern, int seconds, double audioSeconds, const QString &speed = u"veryfast"_s)
{
    return {u"-hide_banner"_s, u"-loglevel"_s, u"error"_s, u"-y"_s,
            u"-t"_s, QString::number(seconds), u"-f"_s, u"lavfi"_s, u"-i"_s, patterns[size_t(pattern) % patterns.size()],
            u"-t"_s, QString::number(audioSeconds), u"-f"_s, u"lavfi"_s, u"-i"_s,
            u"sine=frequency=%1:beep_factor=4:sample_rate=48000"_s.arg(tones[size_t(pattern) % tones.size()]),
            u"-vf"_s, titleFilter() + u',' + clockFilter(),
            u"-c:v"_s, u"libx264"_s, u"-preset"_s, speed, u"-crf"_s, u"28"_s, u"-bf"_s, u"0"_s, u"-g"_s, u"50"_s,
            u"-sc_threshold"_s, u"0"_s, u"-pix_fmt"_s, u"yuv420p"_s,
            u"-c:a"_s, u"aac"_s, u"-b:a"_s, u"96k"_s, u"-ac"_s, u"2"_s};
}

MediaLibrary::Job imageJob(const QString &source, const QString &text, int fontSize, const QString &output)
{
    MediaLibrary::Job job;
    job.output = output;
    job.text = text;
    job.arguments = {u"-hide_banner"_s, u"-loglevel"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, source,
                     u"-vf"_s,
                     u"drawtext=fontfile=%1:textfile=%TEXT%:expansion=none:fontsize=%2:fontcolor=white"
                     ":x=(w-text_w)/2:y=(h-text_h)/2"_s.arg(escapedFontFile()).arg(fontSize),
                     u"-frames:v"_s, u"1"_s, u"-q:v"_s, u"3"_s};
    return job;
}

QList<MediaLibrary::Job> allJobs(const QDir &dir)
{
    QList<MediaLibrary::Job> jobs;
    for (int i = 0; i < MediaLibrary::liveClips; ++i)
        jobs.append(MediaLibrary::liveClipJob(i, u"mavu-lab · "_s + clipNames[size_t(i)], dir.filePath(u"live-%1.ts"_s.arg(i))));
    for (int i = 0; i < MediaLibrary::movieClips; ++i)
        jobs.append(MediaLibrary::movieJob(i, u"mavu-lab · "_s + movieNames[size_t(i)], dir.filePath(u"movie-%1.mp4"_s.arg(i))));
    for (int i = 0; i < MediaLibrary::images; ++i) {
        const QString colour = imageColours[size_t(i)];
        jobs.append(imageJob(u"color=c=%1:size=256x256"_s.arg(colour), u"L%1"_s.arg(i + 1), 96,
                             dir.filePath(u"logos/%1.png"_s.arg(i))));
        jobs.append(imageJob(u"gradients=size=400x600:c0=0x101010:c1=%1:x0=0:y0=0:x1=400:y1=600:nb_colors=2"_s.arg(colour),
                             u"mavu-lab\n\nPoster %1"_s.arg(i + 1), 34, dir.filePath(u"posters/%1.jpg"_s.arg(i))));
    }
    for (int i = 0; i < MediaLibrary::themes; ++i) {
        const auto &[from, to] = themeColours[size_t(i)];
        MediaLibrary::Job job;
        job.output = dir.filePath(u"themes/%1.jpg"_s.arg(i));
        job.arguments = {u"-hide_banner"_s, u"-loglevel"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                         u"gradients=size=1920x1080:c0=%1:c1=%2:x0=0:y0=0:x1=1920:y1=1080:nb_colors=2"_s.arg(from, to),
                         u"-frames:v"_s, u"1"_s, u"-q:v"_s, u"3"_s};
        jobs.append(job);
    }
    return jobs;
}

// The temporary name keeps the extension: ffmpeg picks the container by it.
QString partName(const QString &output)
{
    const QFileInfo info(output);
    return info.dir().filePath(u".part-"_s + info.fileName());
}

struct Running
{
    std::unique_ptr<QProcess> process;
    std::unique_ptr<QTemporaryDir> textDir;
    MediaLibrary::Job job;
};

bool startJob(const MediaLibrary::Job &job, Running &running, QString *errors)
{
    running.job = job;
    running.textDir = std::make_unique<QTemporaryDir>();
    QDir().mkpath(QFileInfo(job.output).path());
    const auto arguments = MediaLibrary::arguments(job, running.textDir->path(), partName(job.output));
    if (!arguments) {
        if (errors)
            *errors += u"cannot write the text for %1\n"_s.arg(job.output);
        return false;
    }
    running.process = std::make_unique<QProcess>();
    running.process->setProcessChannelMode(QProcess::MergedChannels);
    running.process->setWorkingDirectory(running.textDir->path());
    running.process->start(u"ffmpeg"_s, *arguments);
    return true;
}

bool finishJob(Running &running, QString *errors)
{
    QProcess &process = *running.process;
    process.waitForFinished(-1);
    const QString part = partName(running.job.output);
    if (process.error() == QProcess::FailedToStart) {
        if (errors)
            *errors += u"ffmpeg could not be started (is it installed?)\n"_s;
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (errors)
            *errors += u"ffmpeg failed for %1: %2\n"_s.arg(running.job.output, QString::fromLocal8Bit(process.readAll()));
        QFile::remove(part);
        return false;
    }
    QFile::remove(running.job.output);
    return QFile::rename(part, running.job.output);
}

} // namespace

MediaLibrary::MediaLibrary(QString directory)
    : m_directory(std::move(directory))
{
    const QDir dir(m_directory);
    for (int i = 0; i < liveClips; ++i) {
        if (auto clip = TsClip::load(dir.filePath(u"live-%1.ts"_s.arg(i))))
            m_clips.emplace(i, std::make_unique<TsClip>(std::move(*clip)));
    }
}

QString MediaLibrary::defaultDirectory()
{
    return QStringLiteral(MAVU_LAB_MEDIA_DIR);
}

QString MediaLibrary::fontFile()
{
    for (const QString &candidate : {u"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"_s,
                                     u"/usr/share/fonts/dejavu/DejaVuSans-Bold.ttf"_s,
                                     u"/usr/share/fonts/TTF/DejaVuSans-Bold.ttf"_s}) {
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return u"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"_s;
}

QStringList MediaLibrary::themeNames()
{
    return {u"Amber Dusk"_s, u"Deep Ocean"_s, u"Northern Forest"_s, u"Graphite"_s};
}

bool MediaLibrary::isComplete() const
{
    const QDir dir(m_directory);
    for (const Job &job : allJobs(dir)) {
        if (!QFileInfo::exists(job.output))
            return false;
    }
    for (int i = 0; i < movieClips; ++i) {
        if (moviePath(i, u"mkv"_s).isEmpty())
            return false;
    }
    return int(m_clips.size()) == liveClips;
}

const TsClip *MediaLibrary::liveClip(int index) const
{
    const auto it = m_clips.find(index % liveClips);
    return it == m_clips.end() ? nullptr : it->second.get();
}

QString MediaLibrary::moviePath(int index, const QString &extension) const
{
    if (extension != "mp4"_L1 && extension != "mkv"_L1)
        return {};
    const QString path = QDir(m_directory).filePath(u"movie-%1.%2"_s.arg(index % movieClips).arg(extension));
    return QFileInfo::exists(path) ? path : QString();
}

QString MediaLibrary::imagePath(const QStringList &segments) const
{
    // Segments arrive percent-decoded, so one may hold a "/" or be a whole absolute path.
    if (segments.isEmpty())
        return {};
    for (const QString &segment : segments) {
        if (segment.isEmpty() || segment == "."_L1 || segment == ".."_L1 || segment.contains(u'/')
            || segment.contains(u'\\') || segment.contains(QChar(0)))
            return {};
    }
    const QString folder = QFileInfo(m_directory).canonicalFilePath();
    const QFileInfo file(QDir(m_directory).filePath(segments.join(u'/')));
    // And no link inside the folder leads out of it either.
    const QString resolved = file.canonicalFilePath();
    if (folder.isEmpty() || !file.isFile() || !resolved.startsWith(folder + u'/'))
        return {};
    return file.filePath();
}

MediaLibrary::Job MediaLibrary::liveClipJob(int pattern, const QString &title, const QString &output)
{
    Job job;
    job.output = output;
    job.text = title;
    job.arguments = mediaArguments(pattern, liveSeconds, liveSeconds - 0.03) + QStringList{u"-f"_s, u"mpegts"_s};
    return job;
}

MediaLibrary::Job MediaLibrary::movieJob(int pattern, const QString &title, const QString &output, bool quick)
{
    Job job;
    job.output = output;
    job.text = title;
    job.arguments = mediaArguments(pattern, movieSeconds, movieSeconds, quick ? u"ultrafast"_s : u"veryfast"_s);
    if (output.endsWith(".mp4"_L1))
        job.arguments += QStringList{u"-movflags"_s, u"+faststart"_s}; // the index first: playback starts at once
    return job;
}

MediaLibrary::Job MediaLibrary::remuxJob(const QString &input, const QString &output)
{
    Job job;
    job.output = output;
    job.arguments = {u"-hide_banner"_s, u"-loglevel"_s, u"error"_s, u"-y"_s, u"-i"_s, input, u"-c"_s, u"copy"_s};
    return job;
}

std::optional<QStringList> MediaLibrary::arguments(const Job &job, const QString &textDirectory, const QString &output)
{
    QStringList arguments = job.arguments;
    if (!job.text.isNull()) {
        const QString textName = QFileInfo(output).fileName() + u".txt"_s;
        QFile textFile(QDir(textDirectory).filePath(textName));
        if (!textFile.open(QIODevice::WriteOnly) || textFile.write(job.text.toUtf8()) < 0)
            return std::nullopt;
        for (QString &argument : arguments)
            argument.replace(u"%TEXT%"_s, textName);
    }
    arguments.append(output);
    return arguments;
}

bool MediaLibrary::run(const Job &job, QString *errors)
{
    Running running;
    return startJob(job, running, errors) && finishJob(running, errors);
}

bool MediaLibrary::make(const QString &directory, QString *errors)
{
    const QDir dir(QDir(directory).absolutePath()); // ffmpeg runs in another folder
    if (!QDir().mkpath(directory)) {
        if (errors)
            *errors += u"cannot make %1\n"_s.arg(directory);
        return false;
    }
    QList<Job> pending;
    for (const Job &job : allJobs(dir)) {
        if (!QFileInfo::exists(job.output))
            pending.append(job);
    }
    // Two at a time: the build shares the machine.
    bool ok = true;
    for (qsizetype i = 0; i < pending.size(); i += 2) {
        std::array<Running, 2> running;
        const qsizetype batch = std::min<qsizetype>(2, pending.size() - i);
        for (qsizetype k = 0; k < batch; ++k)
            ok = startJob(pending[i + k], running[size_t(k)], errors) && ok;
        for (qsizetype k = 0; k < batch; ++k) {
            if (running[size_t(k)].process)
                ok = finishJob(running[size_t(k)], errors) && ok;
        }
    }
    // The second container of each movie is the first one copied, not encoded again.
    for (int i = 0; i < movieClips && ok; ++i) {
        const QString mkv = dir.filePath(u"movie-%1.mkv"_s.arg(i));
        if (!QFileInfo::exists(mkv))
            ok = run(remuxJob(dir.filePath(u"movie-%1.mp4"_s.arg(i)), mkv), errors);
    }
    return ok;
}

} // namespace Lab
