// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>

namespace diarytrawl::bench {

struct ProgramRun {
    int exitCode = -1;
    qint64 wallMs = 0;
    qint64 peakKb = 0; // the program's own peak memory, from the kernel
};

// Runs the real program with its settings and cache in folder, which is also its current folder.
// whileRunning, if given, runs once the program has started, with its process id.
inline ProgramRun runProgram(const QString &folder, const QStringList &arguments,
                             const std::function<void(pid_t)> &whileRunning = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), folder + QStringLiteral("/cache"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(DIARYTRAWL_BINARY), arguments);
    process.waitForStarted();
    const pid_t pid = pid_t(process.processId());
    if (whileRunning)
        whileRunning(pid);
    int status = 0;
    rusage usage{};
    // Reaped here rather than by QProcess, so that its rusage can be read.
    wait4(pid, &status, 0, &usage);
    ProgramRun run;
    run.wallMs = timer.elapsed();
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKb = usage.ru_maxrss;
    process.waitForFinished(1000);
    return run;
}

} // namespace diarytrawl::bench
