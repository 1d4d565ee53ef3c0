#pragma once

#include <QString>
#include <QStringView>
#include <array>

namespace vellomar {

struct TypeOption {
    const char16_t *caption;
    const char16_t *pattern;
};

// The eight type options, by index.
inline constexpr std::array<TypeOption, 8> typeoptions = {{
    {u"所有文件", u"*.*"},
    {u"所有音画", u"*.jpg;*.gif;*.png;*.wma;*.mp3;*.swf;*.flv"},
    {u"图片文件", u"*.jpg;*.gif;*.png"},
    {u"FLV 视频", u"*.flv"},
    {u"JPG 文件", u"*.jpg"},
    {u"GIF 文件", u"*.gif"},
    {u"MP3＆WMA", u"*.wma;*.mp3"},
    {u"SWF 动画", u"*.swf"},
}};
inline constexpr int starttypeoption = 1;

// One mask against a whole name, without regard to case. "*" is any run, "?" one character,
// and as on Windows "*.*" (or any mask ending in ".*") also takes names without a dot.
bool matchesmask(QStringView name, QStringView mask);

// Masks separated by ";": a name matches when any one does.
bool matchespattern(QStringView name, QStringView pattern);

} // namespace vellomar
