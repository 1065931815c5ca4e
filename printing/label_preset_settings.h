#pragma once

#include "printing/label_settings.h"
#include "printing/nudge.h"

#include <QList>
#include <QString>

// The positions the window's load step leaves in Module1: the 3M preset applied over the all-zero start.
LabelPositions startUpPositions();

// A field moved along an axis by `offset` dots from its preset position: that many clicks on the window's
// minus button (negative offset) or plus button (positive offset).
struct FieldNudge
{
    LabelField field;
    Axis axis;
    int offset;

    friend bool operator==(const FieldNudge& a, const FieldNudge& b)
    {
        return a.field == b.field && a.axis == b.axis && a.offset == b.offset;
    }
};

struct PresetSettings
{
    LabelSettings settings;
    QString cause; // empty when every nudge could be made
    bool ok() const { return cause.isEmpty(); }
};

// The settings a freshly loaded window holds once `size` is chosen and the nudge buttons are clicked: the
// size's preset positions (over startUpPositions(), as the window keeps Data and Checksum under 1M and 2M)
// and gap, darkness "8", quantity "1", empty texts, five-across off, and the offsets the clicks leave in
// the four panels the five-across job reads ("0" where nothing was clicked). Every click goes through
// nudge(), so a position and its offset move together exactly as on the window.
//
// Fails, naming the field and axis and changing nothing, when a nudge would take the offset past the bounds
// at which the window's buttons stop acting, or moves the Data or Checksum position under a size that
// disables those buttons (1M, 2M). Nudges of the same field and axis add up.
PresetSettings presetSettings(LabelSize size, const QList<FieldNudge>& nudges = {});

// "X" or "Y".
QString axisName(Axis axis);
