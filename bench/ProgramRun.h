// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/resource.h>

namespace diarytrawl::bench {

struct ProgramRun {
    int exitCode = -1;
    qint64 wallMs = 0;
    qint64 peakKb = 0; // the program's own peak memory, from the kernel
    qint64 cpuUs = 0;  // the processor time it took, user and system, from the kernel
};

// Runs the real program with its settings and cache in folder, which is also its current folder.
// whileRunning, if given, runs once the program has started, with its process id. The peak memory comes
// from GNU time (package "time"): a child's own rusage would count what it shared with this process
// when it was forked, this process's whole test server included.
// The processor time of every child process waited for so far (with theirs): a run's is the growth.
inline qint64 childrenCpuUs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto us = [](const timeval &time) {
        return qint64(time.tv_sec) * 1000000 + time.tv_usec;
    };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

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
    const QString peakFile = folder + QStringLiteral("/peak.txt");
    const qint64 cpuBefore = childrenCpuUs();
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("/usr/bin/time"),
                  QStringList{QStringLiteral("-f"), QStringLiteral("%M"), QStringLiteral("-o"), peakFile,
                              QStringLiteral(DIARYTRAWL_BINARY)} +
                      arguments);
    process.waitForStarted();
    if (whileRunning) {
        const QString children = QStringLiteral("/proc/%1/task/%1/children").arg(process.processId());
        pid_t program = 0;
        while (program == 0 && process.state() == QProcess::Running) {
            QFile list(children);
            if (list.open(QIODevice::ReadOnly))
                program = pid_t(list.readAll().trimmed().toLongLong());
        }
        if (program != 0)
            whileRunning(program);
    }
    process.waitForFinished(-1);
    ProgramRun run;
    run.wallMs = timer.elapsed();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    QFile peak(peakFile);
    if (peak.open(QIODevice::ReadOnly))
        run.peakKb = peak.readAll().trimmed().split('\n').last().toLongLong();
    run.cpuUs = childrenCpuUs() - cpuBefore;
    return run;
}

} // namespace diarytrawl::bench
