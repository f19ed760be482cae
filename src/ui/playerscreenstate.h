#pragma once

#include "player/playercontroller.h"
#include "store/appstore.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The player screen's own state and decisions: the seek bar's value, the two modes (ordinary
// streams are sought by the player; catch-up recordings by restarting at a whole minute through
// the store's address builder), the time labels and the jump size.
class PlayerScreenState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(PlayerController *controller READ controller WRITE setController NOTIFY controllerChanged FINAL)
    Q_PROPERTY(AppStore *store READ store WRITE setStore NOTIFY storeChanged FINAL)
    Q_PROPERTY(double sliderValue READ sliderValue WRITE setSliderValue NOTIFY sliderValueChanged FINAL)
    Q_PROPERTY(double catchupBaseSec READ catchupBaseSec NOTIFY catchupBaseSecChanged FINAL)
    Q_PROPERTY(bool catchupMode READ catchupMode NOTIFY catchupModeChanged FINAL)
    Q_PROPERTY(int jumpSize READ jumpSize NOTIFY catchupModeChanged FINAL)
    Q_PROPERTY(QString elapsedLabel READ elapsedLabel NOTIFY labelsChanged FINAL)
    Q_PROPERTY(QString lengthLabel READ lengthLabel NOTIFY labelsChanged FINAL)

public:
    using QObject::QObject;

    PlayerController *controller() const { return m_controller; }
    void setController(PlayerController *controller);
    AppStore *store() const { return m_store; }
    void setStore(AppStore *store);

    double sliderValue() const { return m_sliderValue; }
    void setSliderValue(double value);
    double catchupBaseSec() const { return m_catchupBaseSec; }
    bool catchupMode() const;
    int jumpSize() const { return catchupMode() ? 60 : 30; }
    QString elapsedLabel() const;
    QString lengthLabel() const;

    // Seconds from the programme's start of what plays now (catch-up mode).
    double catchupElapsed() const;

    // End of a drag on the seek bar.
    Q_INVOKABLE void commitSeek();
    // A jump button: a signed whole number of seconds.
    Q_INVOKABLE void skip(int seconds);
    // Restarts the recording at the whole minute of `target` seconds, never in its last minute.
    Q_INVOKABLE void catchupSeek(double target);

Q_SIGNALS:
    void controllerChanged();
    void storeChanged();
    void sliderValueChanged();
    void catchupBaseSecChanged();
    void catchupModeChanged();
    void labelsChanged();

private:
    void followPosition();

    QPointer<PlayerController> m_controller;
    QPointer<AppStore> m_store;
    double m_sliderValue = 0;
    double m_catchupBaseSec = 0;
};
