// Where the engine gets a page's location from: the system's own position
// source, with its failures told.
#ifndef KIVWEBVIEW_POSITION_SOURCE_H
#define KIVWEBVIEW_POSITION_SOURCE_H

#include <QGeoPositionInfoSource>
#include <QGeoPositionInfoSourceFactory>
#include <QObject>
#include <QTimer>

#include <functional>

// The web engine answers a page's geolocation request from the toolkit's
// default position source, and waits for it to report a position or an
// error. A system source that cannot work here (no positioning service to
// reach, as on a desktop without one) may fail without saying so, and the
// page's request would then wait for good. This source stands first in
// line: it hands everything to the system's own default source, and
// reports a failure when there is none, when it is in error as it is
// started (it could not reach its service), or when it has given neither a
// position nor an error for 10 seconds after being started; the engine then
// gives the page its "position unavailable" error.
class ReportingPositionSource : public QGeoPositionInfoSource
{
    Q_OBJECT

public:
    explicit ReportingPositionSource(QObject *parent);

    void setUpdateInterval(int msec) override;
    void setPreferredPositioningMethods(PositioningMethods methods) override;
    QGeoPositionInfo lastKnownPosition(bool fromSatellitePositioningMethodsOnly = false) const override;
    PositioningMethods supportedPositioningMethods() const override;
    int minimumUpdateInterval() const override;
    Error error() const override;

public slots:
    void startUpdates() override;
    void stopUpdates() override;
    void requestUpdate(int timeout = 0) override;

private:
    void start(const std::function<void()> &startSystem);
    void report(Error failure);

    QGeoPositionInfoSource *system = nullptr;
    Error reported = NoError;
    QTimer silence;
};

// The factory the toolkit finds among its position plugins, built into the
// library.
class ReportingPositionSourceFactory : public QObject, public QGeoPositionInfoSourceFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.qt.position.sourcefactory/6.0" FILE "position_source.json")
    Q_INTERFACES(QGeoPositionInfoSourceFactory)

public:
    QGeoPositionInfoSource *positionInfoSource(QObject *parent, const QVariantMap &parameters) override;
    QGeoSatelliteInfoSource *satelliteInfoSource(QObject *parent, const QVariantMap &parameters) override;
    QGeoAreaMonitorSource *areaMonitor(QObject *parent, const QVariantMap &parameters) override;
};

#endif // KIVWEBVIEW_POSITION_SOURCE_H
