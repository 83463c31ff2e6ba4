#include "position_source.h"

#include <QtPlugin>

#include <functional>

namespace {

// True while the system's own default source is being made: the toolkit
// then passes over this factory to the next one.
bool makingSystemSource = false;

} // namespace

ReportingPositionSource::ReportingPositionSource(QObject *parent)
    : QGeoPositionInfoSource(parent)
{
    makingSystemSource = true;
    system = QGeoPositionInfoSource::createDefaultSource(this);
    makingSystemSource = false;
    silence.setSingleShot(true);
    silence.setInterval(10000);
    connect(&silence, &QTimer::timeout, this, [this] { report(UpdateTimeoutError); });
    if (!system)
        return;
    connect(system, &QGeoPositionInfoSource::positionUpdated, this,
        [this](const QGeoPositionInfo &position) {
            silence.stop();
            reported = NoError;
            emit positionUpdated(position);
        });
    connect(system, &QGeoPositionInfoSource::errorOccurred, this, [this](Error failure) {
        silence.stop();
        reported = failure;
        emit errorOccurred(failure);
    });
}

void ReportingPositionSource::setUpdateInterval(int msec)
{
    QGeoPositionInfoSource::setUpdateInterval(msec);
    if (system)
        system->setUpdateInterval(msec);
}

void ReportingPositionSource::setPreferredPositioningMethods(PositioningMethods methods)
{
    QGeoPositionInfoSource::setPreferredPositioningMethods(methods);
    if (system)
        system->setPreferredPositioningMethods(methods);
}

QGeoPositionInfo ReportingPositionSource::lastKnownPosition(bool satellitesOnly) const
{
    return system ? system->lastKnownPosition(satellitesOnly) : QGeoPositionInfo();
}

QGeoPositionInfoSource::PositioningMethods ReportingPositionSource::supportedPositioningMethods() const
{
    return system ? system->supportedPositioningMethods() : NoPositioningMethods;
}

int ReportingPositionSource::minimumUpdateInterval() const
{
    return system ? system->minimumUpdateInterval() : 0;
}

QGeoPositionInfoSource::Error ReportingPositionSource::error() const
{
    if (reported != NoError)
        return reported;
    return system ? system->error() : UnknownSourceError;
}

void ReportingPositionSource::startUpdates()
{
    start([this] { system->startUpdates(); });
}

void ReportingPositionSource::stopUpdates()
{
    silence.stop();
    if (system)
        system->stopUpdates();
}

void ReportingPositionSource::requestUpdate(int timeout)
{
    start([this, timeout] { system->requestUpdate(timeout); });
}

void ReportingPositionSource::start(const std::function<void()> &startSystem)
{
    reported = NoError;
    if (!system) {
        report(UnknownSourceError);
        return;
    }
    // A source that is in error before it starts could not reach its
    // service: its failure is reported now, and it is started all the same,
    // should the service come back.
    const Error before = system->error();
    startSystem();
    const Error after = system->error();
    if (before != NoError || after != NoError)
        report(after != NoError ? after : before);
    else
        silence.start();
}

void ReportingPositionSource::report(Error failure)
{
    // Told at once: the engine has connected to this source before it
    // starts it.
    silence.stop();
    reported = failure;
    emit errorOccurred(failure);
}

QGeoPositionInfoSource *ReportingPositionSourceFactory::positionInfoSource(
    QObject *parent, const QVariantMap &)
{
    return makingSystemSource ? nullptr : new ReportingPositionSource(parent);
}

QGeoSatelliteInfoSource *ReportingPositionSourceFactory::satelliteInfoSource(
    QObject *, const QVariantMap &)
{
    return nullptr;
}

QGeoAreaMonitorSource *ReportingPositionSourceFactory::areaMonitor(QObject *, const QVariantMap &)
{
    return nullptr;
}

// Registered with the toolkit when the library is loaded.
Q_IMPORT_PLUGIN(ReportingPositionSourceFactory)
