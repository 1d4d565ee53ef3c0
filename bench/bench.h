#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace vellomar::bench {

double seconds(const std::function<void()> &work);
double median(std::vector<double> v);

// Runs baseline and program alternately `rounds` times (each preceded by `prepare`), and prints
// "name: ratio (target)". Returns the median ratio.
double compare(const QString &name, const QString &target, int rounds,
               const std::function<void()> &prepare, const std::function<void()> &baseline,
               const std::function<void()> &program);

void printline(const QString &name, const QString &value, const QString &target);

int benchdig(const QStringList &args);
int benchview(const QStringList &args);

} // namespace vellomar::bench
