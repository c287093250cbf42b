// The tray message at the end of a window job that left files out (a click on it opens the
// job's failure report), or that took a while (no report: a click only closes it).
#pragma once

#include <QString>

namespace rd {

class TrayIcon;

// How long the message stays up, and so how long the ended process waits for a click.
inline constexpr int kReportNoticeMs = 15000;

// Shows `text` as a message from `tray` and returns once it has been clicked (the report at
// `reportPath` is then opened) or its time is up. Returns false at once, having shown nothing,
// where there is no notification area to show it (off screen): no one could click it there.
bool ShowReportNotice(TrayIcon& tray, const QString& text, const QString& reportPath);

}  // namespace rd
