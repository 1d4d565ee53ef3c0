#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace vellomar::bench {

double seconds(const std::function<void()> &work);
double median(std::vector<double> v);

// Runs baseline and program alternately `rounds` times (each preceded by `prepare`), and prints
// "name: ratio (<= limit)". Returns the median ratio.
double compare(const QString &name, double limit, int rounds, const std::function<void()> &prepare,
               const std::function<void()> &baseline, const std::function<void()> &program);

// The ratio of two medians measured otherwise, printed and judged as compare() does; `over`
// says what the medians were taken over.
double report(const QString &name, double limit, double program, double baseline,
              const QString &over);

void printline(const QString &name, const QString &value, const QString &target);

// Remembers a value over its limit for the exit status (NaN counts as over).
void judge(const QString &name, double value, double limit);
bool allmet();

int benchbrowser(const QStringList &args);
int benchdig(const QStringList &args);
int benchdiscovery(const QStringList &args);
int benchpause(const QStringList &args);
int benchview(const QStringList &args);

} // namespace vellomar::bench
