#pragma once

#include <QRect>

#include <array>

// Where everything sits on the main window, in pixels at 96 dots per inch. The skin paints its
// buttons at these places and the window lays its hotspots and controls over them.
namespace main_layout {

inline constexpr QSize WindowSize{700, 500};
inline constexpr int TitleHeight = 27;

// Toolbar members by their array index (index 5 is not used).
inline constexpr int ToolbarCount = 7;
inline constexpr std::array<QRect, ToolbarCount> Toolbar{{
    {16, 55, 86, 53},  // 0 Add File(s)
    {190, 55, 86, 53}, // 1 Remove
    {277, 55, 86, 53}, // 2 Options
    {364, 55, 86, 53}, // 3 Help
    {451, 55, 86, 53}, // 4 Exit
    {},                // 5 (none)
    {103, 55, 86, 53}, // 6 Add Folder
}};
inline constexpr std::array<QRect, 3> MenuTitle{{
    {18, 31, 40, 15},
    {60, 31, 59, 15},
    {122, 31, 51, 15},
}};

inline constexpr QRect Convert{489, 371, 187, 91};
inline constexpr QRect Browse{635, 331, 42, 22};
inline constexpr QRect HelpMark{635, 8, 15, 15};
inline constexpr QRect MinimiseMark{652, 9, 14, 14};
inline constexpr QRect CloseMark{672, 10, 15, 15};
inline constexpr QRect Feedback{628, 477, 46, 13};
inline constexpr QRect FeedbackIcon{611, 476, 14, 14};
inline constexpr QRect Web{18, 478, 164, 13};
inline constexpr QRect Version{124, 10, 80, 14};

// The pickers (output format, bitrate, rate, channel) and the boxes over their arrows.
inline constexpr std::array<QRect, 4> Picker{{
    {488, 158, 189, 22},
    {488, 200, 189, 22},
    {488, 244, 189, 22},
    {488, 286, 189, 22},
}};
inline constexpr std::array<QRect, 4> DropButton{{
    {657, 160, 19, 19},
    {657, 202, 19, 19},
    {657, 246, 19, 19},
    {657, 288, 19, 19},
}};
inline constexpr std::array<const char*, 4> PickerLabel{
    {"Output Format:", "Bitrate (Kbps):", "Rate (Hz):", "Audio Channel:"}};
inline constexpr QRect FolderBox{488, 330, 143, 23};

inline constexpr QRect ListPanel{10, 116, 468, 350};
inline constexpr QRect SettingsPanel{482, 116, 208, 350};
inline constexpr QRect FileList{16, 160, 455, 268};
inline constexpr int FileNameColumnWidth = 361;
inline constexpr QRect ProgressTrack{100, 439, 361, 14};
inline constexpr QRect ProgressCaption{100, 439, 361, 14};

} // namespace main_layout
