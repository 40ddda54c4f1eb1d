#pragma once

// Where everything sits on the panel. One unit is one pixel of the 1662 x 946 panel artwork;
// the editor scales every rectangle by width / 1662 and height / 946.

#include <juce_graphics/juce_graphics.h>
#include <cmath>

namespace kv::layout
{
inline constexpr float kPanelWidth = 1662.0f;
inline constexpr float kPanelHeight = 946.0f;
inline constexpr int kDefaultWidth = 1320, kDefaultHeight = 751;
inline constexpr int kMinWidth = 960, kMinHeight = 546;
inline constexpr int kMaxWidth = 1662, kMaxHeight = 946;

struct PanelRect
{
    float x, y, w, h;
};

struct PanelPoint
{
    float x, y;
};

// Every control with a place of its own on the panel, in the order of the table below.
enum class Slot : int
{
    presetBox, prevPreset, nextPreset, savePreset, deletePreset, initPreset,
    vco1Level, vco1Freq, vco1EgAmt, vcoDecay, vco2Level, vco2Freq, vco2EgAmt, vco2Decay,
    fmAmount, untz, hardSync,
    noiseLevel, noiseColor, noiseDecay, noiseVcfBypass, clickLevel, clickTune, clickDecay, clickVcfBypass,
    cutoff, resonance, vcfDecay, vcfEgAmt, noiseVcfMod,
    vcaEg, vcaDecay, volume, preDrive, postDrive,
    lfoRate, lfoAmt, lfoDest, lfoSync, lfoRetrig,
    patternA, patternB, chain, velocityClear, modADest, modBDest,
    pitchSteps, velSteps, modASteps, modBSteps,
    clockMult, swing, runStop, trigger, reset,
    count
};

enum class ControlType
{
    Knob,          // KVSlider attached to the parameter `name`
    ToggleButton,  // KVTextButton attached to the switch parameter `name`
    ChoiceBox,     // KVComboBox attached to the choice parameter `name`
    LaneLength,    // lane-length KVComboBox attached to `name`
    Button         // editor button with its own action; `name` is only a label
};

struct ControlPlacement
{
    Slot slot;
    ControlType type;
    const char* name;
    PanelRect rect;
};

inline constexpr ControlPlacement kControls[] = {
    { Slot::presetBox,      ControlType::Button,       "presetBox",      { 245.0f, 851.0f, 443.0f, 49.0f } },
    { Slot::prevPreset,     ControlType::Button,       "<",              { 789.0f, 855.0f, 40.0f, 36.0f } },
    { Slot::nextPreset,     ControlType::Button,       ">",              { 894.5f, 855.0f, 40.0f, 36.0f } },
    { Slot::savePreset,     ControlType::Button,       "SAVE",           { 993.5f, 855.0f, 40.0f, 36.0f } },
    { Slot::deletePreset,   ControlType::Button,       "DELETE",         { 1092.0f, 854.5f, 40.0f, 36.0f } },
    { Slot::initPreset,     ControlType::Button,       "INIT",           { 1194.0f, 854.5f, 38.0f, 36.0f } },
    { Slot::vco1Level,      ControlType::Knob,         "vco1Level",      { 51.5f, 191.0f, 43.0f, 43.0f } },
    { Slot::vco1Freq,       ControlType::Knob,         "vco1Freq",       { 339.0f, 163.5f, 101.0f, 101.0f } },
    { Slot::vco1EgAmt,      ControlType::Knob,         "vco1EgAmt",      { 492.5f, 157.0f, 43.0f, 43.0f } },
    { Slot::vcoDecay,       ControlType::Knob,         "vcoDecay",       { 492.5f, 233.0f, 43.0f, 43.0f } },
    { Slot::vco2Level,      ControlType::Knob,         "vco2Level",      { 51.5f, 332.0f, 43.0f, 43.0f } },
    { Slot::vco2Freq,       ControlType::Knob,         "vco2Freq",       { 339.0f, 307.5f, 101.0f, 101.0f } },
    { Slot::vco2EgAmt,      ControlType::Knob,         "vco2EgAmt",      { 492.5f, 314.0f, 43.0f, 43.0f } },
    { Slot::vco2Decay,      ControlType::Knob,         "vco2Decay",      { 493.0f, 383.5f, 43.0f, 43.0f } },
    { Slot::fmAmount,       ControlType::Knob,         "fmAmount",       { 272.5f, 442.0f, 43.0f, 43.0f } },
    { Slot::untz,           ControlType::Knob,         "untz",           { 373.0f, 442.0f, 43.0f, 43.0f } },
    { Slot::hardSync,       ControlType::ToggleButton, "hardSync",       { 481.0f, 465.0f, 64.0f, 24.0f } },
    { Slot::noiseLevel,     ControlType::Knob,         "noiseLevel",     { 591.0f, 181.5f, 43.0f, 43.0f } },
    { Slot::noiseColor,     ControlType::Knob,         "noiseColor",     { 669.0f, 182.0f, 43.0f, 43.0f } },
    { Slot::noiseDecay,     ControlType::Knob,         "noiseDecay",     { 743.0f, 181.5f, 43.0f, 43.0f } },
    { Slot::noiseVcfBypass, ControlType::ToggleButton, "noiseVcfBypass", { 665.0f, 266.0f, 110.0f, 25.0f } },
    { Slot::clickLevel,     ControlType::Knob,         "clickLevel",     { 591.5f, 360.0f, 43.0f, 43.0f } },
    { Slot::clickTune,      ControlType::Knob,         "clickTune",      { 669.0f, 359.5f, 43.0f, 43.0f } },
    { Slot::clickDecay,     ControlType::Knob,         "clickDecay",     { 743.0f, 360.0f, 43.0f, 43.0f } },
    { Slot::clickVcfBypass, ControlType::ToggleButton, "clickVcfBypass", { 663.0f, 442.0f, 112.0f, 25.0f } },
    { Slot::cutoff,         ControlType::Knob,         "cutoff",         { 844.0f, 241.0f, 101.0f, 101.0f } },
    { Slot::resonance,      ControlType::Knob,         "resonance",      { 985.0f, 241.0f, 101.0f, 101.0f } },
    { Slot::vcfDecay,       ControlType::Knob,         "vcfDecay",       { 846.0f, 413.0f, 43.0f, 43.0f } },
    { Slot::vcfEgAmt,       ControlType::Knob,         "vcfEgAmt",       { 933.5f, 413.5f, 43.0f, 43.0f } },
    { Slot::noiseVcfMod,    ControlType::Knob,         "noiseVcfMod",    { 1022.5f, 413.0f, 43.0f, 43.0f } },
    { Slot::vcaEg,          ControlType::Knob,         "vcaEg",          { 1156.5f, 164.5f, 43.0f, 43.0f } },
    { Slot::vcaDecay,       ControlType::Knob,         "vcaDecay",       { 1276.0f, 164.0f, 43.0f, 43.0f } },
    { Slot::volume,         ControlType::Knob,         "volume",         { 1188.5f, 244.0f, 101.0f, 101.0f } },
    { Slot::preDrive,       ControlType::Knob,         "preDrive",       { 1157.5f, 413.5f, 43.0f, 43.0f } },
    { Slot::postDrive,      ControlType::Knob,         "postDrive",      { 1262.0f, 413.5f, 43.0f, 43.0f } },
    { Slot::lfoRate,        ControlType::Knob,         "lfoRate",        { 1414.5f, 163.0f, 43.0f, 43.0f } },
    { Slot::lfoAmt,         ControlType::Knob,         "lfoAmt",         { 1538.0f, 162.5f, 43.0f, 43.0f } },
    { Slot::lfoDest,        ControlType::ChoiceBox,    "lfoDest",        { 1422.0f, 318.0f, 149.0f, 48.0f } },
    { Slot::lfoSync,        ControlType::ToggleButton, "lfoSync",        { 1408.0f, 452.0f, 66.0f, 24.0f } },
    { Slot::lfoRetrig,      ControlType::ToggleButton, "lfoRetrig",      { 1527.0f, 452.0f, 69.0f, 25.0f } },
    { Slot::patternA,       ControlType::Button,       "PATTERN A",      { 67.0f, 543.0f, 66.0f, 25.0f } },
    { Slot::patternB,       ControlType::Button,       "PATTERN B",      { 167.0f, 543.0f, 68.0f, 25.0f } },
    { Slot::chain,          ControlType::Button,       "A + B",          { 268.0f, 543.0f, 58.0f, 25.0f } },
    { Slot::velocityClear,  ControlType::Button,       "velocityClear",  { 167.0f, 665.0f, 65.0f, 25.0f } },
    { Slot::modADest,       ControlType::ChoiceBox,    "modADest",       { 165.0f, 703.0f, 148.0f, 38.0f } },
    { Slot::modBDest,       ControlType::ChoiceBox,    "modBDest",       { 165.0f, 760.0f, 148.0f, 38.0f } },
    { Slot::pitchSteps,     ControlType::LaneLength,   "pitchSteps",     { 366.0f, 589.0f, 38.0f, 28.0f } },
    { Slot::velSteps,       ControlType::LaneLength,   "velSteps",       { 366.0f, 649.0f, 38.0f, 28.0f } },
    { Slot::modASteps,      ControlType::LaneLength,   "modASteps",      { 366.0f, 707.0f, 38.0f, 28.0f } },
    { Slot::modBSteps,      ControlType::LaneLength,   "modBSteps",      { 366.0f, 763.0f, 38.0f, 28.0f } },
    { Slot::clockMult,      ControlType::Knob,         "clockMult",      { 1472.5f, 592.5f, 47.0f, 47.0f } },
    { Slot::swing,          ControlType::Knob,         "swing",          { 1473.0f, 702.0f, 45.0f, 45.0f } },
    { Slot::runStop,        ControlType::Button,       "RUN/STOP",       { 1389.0f, 775.0f, 41.0f, 40.0f } },
    { Slot::trigger,        ControlType::Button,       "trigger",        { 1476.0f, 775.0f, 42.0f, 40.0f } },
    { Slot::reset,          ControlType::Button,       "reset",          { 1564.0f, 775.0f, 41.0f, 40.0f } },
};
inline constexpr int kNumControls = (int) (sizeof (kControls) / sizeof (kControls[0]));
static_assert (kNumControls == (int) Slot::count, "every slot has one row");

constexpr bool slotsInOrder()
{
    for (int i = 0; i < kNumControls; ++i)
        if ((int) kControls[i].slot != i)
            return false;
    return true;
}
static_assert (slotsInOrder(), "rows are listed in slot order");

constexpr const PanelRect& rect (Slot slot) { return kControls[(int) slot].rect; }

// Rows of invisible buttons that pick an item of a hidden choice box, left to right.
struct ChoiceButtonRow
{
    const char* boxName;
    int numButtons;
    int itemIds[4];
    float x[4];
    float y, w, h;
};

inline constexpr ChoiceButtonRow kChoiceButtonRows[] = {
    { "vco1Wave",    4, { 1, 2, 3, 4 }, { 130.0f, 178.0f, 227.0f, 275.0f },    193.0f, 30.0f, 40.0f },
    { "vco2Wave",    3, { 1, 2, 3, 0 }, { 129.0f, 178.0f, 227.0f, 0.0f },      332.0f, 30.0f, 40.0f },
    { "vcoEgShape",  3, { 2, 1, 3, 0 }, { 58.0f, 108.0f, 157.0f, 0.0f },       465.0f, 30.0f, 38.0f },
    { "vcfMode",     2, { 1, 2, 0, 0 }, { 900.0f, 991.0f, 0.0f, 0.0f },        159.0f, 40.0f, 42.0f },
    { "lfoWave",     4, { 1, 3, 2, 4 }, { 1402.0f, 1454.0f, 1506.0f, 1559.0f }, 250.0f, 30.0f, 40.0f },
    { "seqPitchMod", 3, { 1, 2, 3, 0 }, { 67.0f, 167.0f, 267.0f, 0.0f },       609.0f, 62.0f, 25.0f },
};
inline constexpr int kNumChoiceButtonRows = (int) (sizeof (kChoiceButtonRows) / sizeof (kChoiceButtonRows[0]));

// The step grid: column centres and the top edge of each lane's row of 45 x 45 knobs.
inline constexpr int kNumColumns = 8;
inline constexpr int kNumLanes = 4;
inline constexpr float kStepColumnX[kNumColumns] = { 430.2f, 557.0f, 683.2f, 808.9f, 934.5f, 1059.6f, 1185.9f, 1310.7f };
inline constexpr float kStepRowY[kNumLanes] = { 580.5f, 641.0f, 698.2f, 754.8f };
inline constexpr float kStepKnobSize = 45.0f;

constexpr PanelRect stepKnobRect (int lane, int step)
{
    return { kStepColumnX[step % kNumColumns] - 22.5f, kStepRowY[lane], kStepKnobSize, kStepKnobSize };
}

// Panel rectangle -> component bounds at the given editor size. Each value is scaled in single
// precision and rounded on its own (ties to even).
inline juce::Rectangle<int> toScreen (PanelRect r, int width, int height)
{
    const float sx = (float) width / kPanelWidth;
    const float sy = (float) height / kPanelHeight;
    return { (int) std::nearbyint (r.x * sx), (int) std::nearbyint (r.y * sy),
             (int) std::nearbyint (r.w * sx), (int) std::nearbyint (r.h * sy) };
}
} // namespace kv::layout
