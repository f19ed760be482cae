#pragma once

#include "model/records.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

// What the detail screen says about one movie or TV show, drawn from the list entry and the
// movie's details. Each text is empty when its source is; an empty text hides its row.
class DetailTexts
{
    Q_GADGET
    QML_VALUE_TYPE(detailTexts)
    Q_PROPERTY(bool movie MEMBER movie CONSTANT FINAL)
    Q_PROPERTY(QString releaseDate MEMBER releaseDate CONSTANT FINAL)
    Q_PROPERTY(QString director MEMBER director CONSTANT FINAL)
    Q_PROPERTY(QString age MEMBER age CONSTANT FINAL)
    Q_PROPERTY(QString length MEMBER length CONSTANT FINAL)
    Q_PROPERTY(QString genre MEMBER genre CONSTANT FINAL)
    Q_PROPERTY(QString cast MEMBER cast CONSTANT FINAL)
    Q_PROPERTY(QString plot MEMBER plot CONSTANT FINAL)
    Q_PROPERTY(QString trailerId MEMBER trailerId CONSTANT FINAL)

public:
    bool movie = false; // movies play from the screen; shows from their episodes
    QString releaseDate;
    QString director;
    QString age;
    QString length;
    QString genre; // shows only
    QString cast;
    QString plot;
    QString trailerId;

    friend bool operator==(const DetailTexts &, const DetailTexts &) = default;
};

// The detail screen's small rules: its texts, the five rating stars and episode titles.
class DetailRules : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // A movie takes its facts from its details (an empty record while they load or when they
    // failed) and its date from "added" when that is a time; a show carries its own.
    Q_INVOKABLE static DetailTexts texts(const MediaItem &item, const VodInfo &info);

    // "yyyy.MM.dd" in the local time zone when `added` is a positive number of seconds since
    // 1970 (UTC); empty otherwise.
    static QString dateFromAdded(const QString &added);

    // The five symbols of a rating from 0 to 5: full from three quarters of a star on, half
    // from a quarter on, empty below.
    Q_INVOKABLE static QStringList starSymbols(double rating);

    // The rating with one decimal beside the stars; empty for no rating.
    Q_INVOKABLE static QString ratingText(double rating);

    // Whether two seasons are the same one (QML cannot compare the records).
    Q_INVOKABLE static bool sameSeason(const Season &a, const Season &b) { return a == b; }

    // An episode card's title: its own, or "Episode" and its number.
    Q_INVOKABLE static QString episodeTitle(const Episode &episode);
};
