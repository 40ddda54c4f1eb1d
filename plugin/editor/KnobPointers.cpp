#include "KnobPointers.h"

#include "Fonts.h"
#include "PanelRenderer.h"
#include "PluginEditor.h"

#include <cmath>
#include <cstring>

namespace
{
using kv::layout::PanelPoint;

constexpr juce::uint32 kPointerColour = 0xfff5efe0u;
constexpr float kPointerThickness = 1.6f;

struct PointerCentre
{
    const char* id;
    PanelPoint at;
};

// Pointer pivots of the small panel knobs (the printed knob bodies are not centred in their
// hit areas).
constexpr PointerCentre kPointerCentres[] = {
    { "vco1Level", { 73.0f, 207.2f } },     { "clickTune", { 690.5f, 376.2f } },
    { "vco1EgAmt", { 513.5f, 173.7f } },    { "clickDecay", { 764.5f, 376.2f } },
    { "vcoDecay", { 513.5f, 248.7f } },     { "vcfDecay", { 867.0f, 428.2f } },
    { "vco2Level", { 73.0f, 347.7f } },     { "vcfEgAmt", { 955.0f, 427.7f } },
    { "vco2EgAmt", { 513.5f, 329.7f } },    { "noiseVcfMod", { 1044.0f, 428.7f } },
    { "vco2Decay", { 513.5f, 398.7f } },    { "vcaEg", { 1178.0f, 177.7f } },
    { "fmAmount", { 294.0f, 458.2f } },     { "vcaDecay", { 1297.5f, 177.7f } },
    { "untz", { 394.5f, 458.7f } },         { "preDrive", { 1179.0f, 428.2f } },
    { "noiseLevel", { 612.5f, 197.2f } },   { "postDrive", { 1284.0f, 428.2f } },
    { "noiseColor", { 690.0f, 197.2f } },   { "lfoRate", { 1436.0f, 177.7f } },
    { "noiseDecay", { 764.5f, 197.2f } },   { "lfoAmt", { 1559.5f, 177.7f } },
    { "clickLevel", { 612.5f, 375.7f } },   { "swing", { 1495.4f, 720.0f } },
};

// The five large knobs: pivot raised above the centre of the hit area (panel units).
struct LargeKnob
{
    const char* id;
    float lift;
};
constexpr LargeKnob kLargeKnobs[] = {
    { "vco1Freq", 10.0f }, { "vco2Freq", 7.0f }, { "cutoff", 8.0f }, { "resonance", 8.0f }, { "volume", 8.0f },
};

constexpr float kStepPointerX[kv::layout::kNumColumns] = { 430.2f, 556.7f, 682.9f, 808.6f, 934.4f, 1059.5f, 1185.6f, 1312.2f };
constexpr float kStepPointerY[kv::layout::kNumLanes] = { 599.3f, 660.3f, 717.5f, 774.3f };

constexpr PanelPoint kClockMultiplierLeds[9] = {
    { 1464.2f, 669.9f }, { 1451.9f, 643.5f }, { 1448.7f, 613.3f }, { 1452.2f, 581.3f }, { 1495.5f, 581.7f },
    { 1536.7f, 581.4f }, { 1540.9f, 613.5f }, { 1537.6f, 643.6f }, { 1526.5f, 670.0f },
};

const char* const kLaneStems[kv::layout::kNumLanes] = { "stepPitch", "stepVel", "stepModA", "stepModB" };
} // namespace

namespace kv::pointers
{
kv::layout::PanelPoint clockMultiplierLed (int index)
{
    return kClockMultiplierLeds[juce::jlimit (0, 8, index)];
}

juce::Rectangle<float> placeReadout (juce::Rectangle<float> knob, float w, float h, float width, float height, float sx)
{
    const float m = 3.0f * sx;
    const juce::Rectangle<float> allowed (m, m, width - 2.0f * m, height - 2.0f * m);
    const auto c = knob.getCentre();
    const float d = 0.70710677f * (11.0f * sx + juce::jmin (knob.getWidth(), knob.getHeight()) * 0.5f);

    const juce::Point<float> candidates[] = {
        { c.x + d, c.y - d - h * 0.5f },
        { c.x - d - w, c.y - d - h * 0.5f },
        { c.x + d, c.y + d - h * 0.5f },
        { c.x - d - w, c.y + d - h * 0.5f },
    };

    auto chosen = candidates[0];
    for (const auto& candidate : candidates)
    {
        if (candidate.x >= allowed.getX() && candidate.y >= allowed.getY()
            && candidate.x + w <= allowed.getRight() && candidate.y + h <= allowed.getBottom())
        {
            chosen = candidate;
            break;
        }
    }

    const float x = juce::jlimit (m, juce::jmax (m, width - m - w), chosen.x);
    const float y = juce::jlimit (m, juce::jmax (m, height - m - h), chosen.y);
    return { x, y, w, h };
}
} // namespace kv::pointers

//==============================================================================
void KVEditor::drawKnobPointer (juce::Graphics& g, const KVSlider& knob)
{
    if (! knob.isVisible())
        return;

    const float sx = scaleX(), sy = scaleY();
    const auto b = knob.getBounds().toFloat();
    const bool stepKnob = knob.knobKind == KVSlider::StepKnob;
    const float r = (juce::jmin (b.getWidth(), b.getHeight()) - (stepKnob ? 2.0f : 4.0f)) * 0.5f;
    const auto name = knob.getName();

    juce::Point<float> centre = b.getCentre().translated (0.0f, -3.0f * sy);
    bool large = false;

    if (stepKnob)
    {
        for (int lane = 0; lane < kv::layout::kNumLanes; ++lane)
        {
            if (name.startsWith (kLaneStems[lane]))
            {
                const int step = name.substring ((int) std::strlen (kLaneStems[lane])).getIntValue();
                centre = { kStepPointerX[step % 8] * sx, kStepPointerY[lane] * sy };
                break;
            }
        }
    }
    else
    {
        for (const auto& entry : kLargeKnobs)
        {
            if (name == entry.id)
            {
                centre = b.getCentre().translated (0.0f, -entry.lift * sy);
                large = true;
                break;
            }
        }
        if (! large)
            for (const auto& entry : kPointerCentres)
                if (name == entry.id)
                    centre = { entry.at.x * sx, entry.at.y * sy };
    }

    const double proportion = const_cast<KVSlider&> (knob).valueToProportionOfLength (knob.getValue());
    const float angle = kv::pointers::pointerAngle (proportion);
    const float length = r * (large ? 0.86f : 0.68f);

    g.setColour (juce::Colour (kPointerColour));
    g.drawLine (centre.x, centre.y, centre.x + length * std::cos (angle), centre.y + length * std::sin (angle),
                kPointerThickness);
}

void KVEditor::paintOverChildren (juce::Graphics& g)
{
    if (presetBrowser != nullptr)
        return;

    const float sx = scaleX(), sy = scaleY();
    KVSlider* clockKnob = nullptr;

    // 1. The panel knobs.
    for (auto& knob : panelKnobs)
    {
        if (knob->getName() == kv::ids::clockMult)
            clockKnob = knob.get();
        else
            drawKnobPointer (g, *knob);
    }

    // 2. Clock multiplier: the lamp of the chosen ratio and a pointer aimed at it.
    {
        const auto* parameter = processor.treeState.getRawParameterValue (kv::ids::clockMult);
        const int index = parameter != nullptr ? juce::jlimit (0, 8, (int) std::round (parameter->load (std::memory_order_relaxed)))
                                               : 4;
        const auto ledPoint = kv::pointers::clockMultiplierLed (index);
        const juce::Point<float> lamp (ledPoint.x * sx, ledPoint.y * sy);
        kv::panel::drawLitPanelLed (g, lamp, 3.8f * sx, false);

        if (clockKnob != nullptr)
        {
            const juce::Point<float> pivot (kv::pointers::kClockMultiplierPivot.x * sx, kv::pointers::kClockMultiplierPivot.y * sy);
            const auto direction = lamp - pivot;
            const float distance = direction.getDistanceFromOrigin();
            const auto b = clockKnob->getBounds().toFloat();
            const float length = 0.68f * 0.5f * juce::jmin (b.getWidth(), b.getHeight());
            if (distance > 0.0f)
            {
                const auto tip = pivot + direction * (length / distance);
                g.setColour (juce::Colour (kPointerColour));
                g.drawLine ({ pivot, tip }, kPointerThickness);
            }
        }
    }

    // 3. Step knobs of the shown page.
    for (auto& lane : stepKnobs)
        for (auto& knob : lane)
            drawKnobPointer (g, *knob);

    // 4. Value readout beside the held knob.
    if (processor.valueReadout.load (std::memory_order_relaxed) && pressedKnob != nullptr
        && pressedKnob->getName() != kv::ids::clockMult && pressedKnob->isVisible())
    {
        const auto text = formatKnobValue (*pressedKnob);
        if (text.isNotEmpty())
        {
            const auto font = kv::fonts::condensed (23.0f * sx, true);
            const float w = font.getStringWidthFloat (text) + 5.0f * sx;
            const float h = 30.0f * sx;
            const auto box = kv::pointers::placeReadout (pressedKnob->getBounds().toFloat(), w, h, (float) getWidth(),
                                                         (float) getHeight(), sx);
            g.setFont (font);
            g.setColour (juce::Colour (0xff26231fu));
            g.drawText (text, box, juce::Justification::centred, false);
        }
    }
}
