#pragma once

#include <QString>

// "Ver" followed by major.minor.revision in plain decimal ("Ver1.0.9", "Ver1.10.9").
QString versionText(int major, int minor, int revision);

// The version of this build, from the project version.
QString applicationVersionText();
