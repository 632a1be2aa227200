#include "island/IslandState.h"

namespace tw {

using Curve = IslandAnimation::Curve;

IslandAnimation IslandAnimation::open(bool reduced) {
    if (reduced) return {Curve::easeInOut, 0.18, 0, 1};
    return {Curve::spring, 0.42, 0.18, 1};
}

IslandAnimation IslandAnimation::close(bool reduced) {
    if (reduced) return {Curve::easeInOut, 0.18, 0, 1};
    return {Curve::spring, 0.38, 0, 1};
}

IslandAnimation IslandAnimation::noticeShown(bool reduced) {
    if (reduced) return {Curve::easeInOut, 0.18, 0, 1};
    return {Curve::spring, 0.42, 0, 1};
}

IslandAnimation IslandAnimation::noticeRemoved(bool reduced) {
    if (reduced) return {Curve::easeInOut, 0.18, 0, 1};
    return {Curve::easeOut, 0.28, 0, 1};
}

IslandAnimation IslandAnimation::cardRemoved(bool reduced) {
    if (reduced) return {Curve::linear, 0.01, 0, 1};
    return {Curve::spring, 0.3, 0, 1};
}

IslandAnimation IslandAnimation::notchPreview(bool reduced) {
    if (reduced) return {Curve::easeInOut, 0.12, 0, 1};
    return {Curve::spring, 0.28, 0.25, 1};
}

IslandState::IslandState(IslandMetrics metrics, QObject* parent)
    : QObject(parent), metrics_(metrics) {}

IslandState::~IslandState() = default;

void IslandState::setMetrics(const IslandMetrics& v) {
    metrics_ = v;
    Q_EMIT metricsChanged();
}

void IslandState::setExpanded(bool v) {
    isExpanded_ = v;
    Q_EMIT isExpandedChanged();
}

void IslandState::setHovering(bool v) {
    isHovering_ = v;
    Q_EMIT isHoveringChanged();
}

void IslandState::setHoveredDuration(std::optional<TimerModel::Mode> v) {
    hoveredDuration_ = v;
    Q_EMIT hoveredDurationChanged();
}

void IslandState::setBlockWarning(const std::optional<QString>& v) {
    blockWarning_ = v;
    Q_EMIT blockWarningChanged();
}

void IslandState::setBlockWarningSeconds(int v) {
    blockWarningSeconds_ = v;
    Q_EMIT blockWarningSecondsChanged();
}

void IslandState::setBlockedSite(const std::optional<QString>& v) {
    blockedSite_ = v;
    Q_EMIT blockedSiteChanged();
}

void IslandState::setCelebration(const std::optional<CompletionCelebration>& v) {
    celebration_ = v;
    Q_EMIT celebrationChanged();
}

void IslandState::setPillDraggable(bool v) {
    pillDraggable_ = v;
    Q_EMIT pillDraggableChanged();
}

void IslandState::setTrayAvailable(bool v) {
    trayAvailable_ = v;
    Q_EMIT trayAvailableChanged();
}

void IslandState::setPillLocked(bool v) {
    pillLocked_ = v;
    Q_EMIT pillLockedChanged();
}

void IslandState::setPillHidden(bool v) {
    pillHidden_ = v;
    Q_EMIT pillHiddenChanged();
}

void IslandState::setDragging(bool v) {
    isDragging_ = v;
    Q_EMIT isDraggingChanged();
}

void IslandState::setNotchPreviewMetrics(const std::optional<IslandMetrics>& v) {
    notchPreviewMetrics_ = v;
    Q_EMIT notchPreviewMetricsChanged();
}

ExpandedContentFlags IslandState::contentFlags() const {
    ExpandedContentFlags f;
    f.hasCelebration = celebration_.has_value();
    f.hasBlockWarning = blockWarning_.has_value();
    f.hasBlockedSite = blockedSite_.has_value();
    f.durationHovered = hoveredDuration_.has_value();
    return f;
}

}  // namespace tw
