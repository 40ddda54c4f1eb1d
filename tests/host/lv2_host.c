/* A minimal LV2 host on lilv: loads the bundle, instantiates the instrument by its URI, plays a
 * few MIDI notes through its atom input and checks that the audio outputs sound and stay finite.
 *
 *   pulskar_lv2_host <bundle-folder> <plugin-uri>
 *
 * Exit code 0 on success; a message on stderr and a non-zero code otherwise. */

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_URIS 256
#define BLOCK 256
#define RATE 48000.0
#define ATOM_CAPACITY 8192

static char* uris[MAX_URIS];
static uint32_t numUris = 0;

static LV2_URID mapUri (LV2_URID_Map_Handle handle, const char* uri)
{
    (void) handle;
    for (uint32_t i = 0; i < numUris; ++i)
        if (strcmp (uris[i], uri) == 0)
            return i + 1;
    if (numUris == MAX_URIS)
        return 0;
    uris[numUris] = strdup (uri);
    return ++numUris;
}

static const char* unmapUri (LV2_URID_Unmap_Handle handle, LV2_URID urid)
{
    (void) handle;
    return (urid >= 1 && urid <= numUris) ? uris[urid - 1] : NULL;
}

typedef struct
{
    LV2_Atom_Sequence sequence;
    uint8_t space[ATOM_CAPACITY];
} AtomBuffer;

static void clearInput (AtomBuffer* b, LV2_URID sequenceType)
{
    b->sequence.atom.size = sizeof (LV2_Atom_Sequence_Body);
    b->sequence.atom.type = sequenceType;
    b->sequence.body.unit = 0;
    b->sequence.body.pad = 0;
}

static void prepareOutput (AtomBuffer* b, LV2_URID chunkType)
{
    b->sequence.atom.size = ATOM_CAPACITY;
    b->sequence.atom.type = chunkType;
}

static void addMidi (AtomBuffer* b, LV2_URID midiType, int64_t frame, uint8_t s, uint8_t d1, uint8_t d2)
{
    struct
    {
        LV2_Atom_Event event;
        uint8_t bytes[3];
    } e;
    e.event.time.frames = frame;
    e.event.body.type = midiType;
    e.event.body.size = 3;
    e.bytes[0] = s;
    e.bytes[1] = d1;
    e.bytes[2] = d2;
    lv2_atom_sequence_append_event (&b->sequence, ATOM_CAPACITY, &e.event);
}

int main (int argc, char** argv)
{
    if (argc != 3)
    {
        fprintf (stderr, "usage: %s <bundle-folder> <plugin-uri>\n", argv[0]);
        return 2;
    }

    LV2_URID_Map map = { NULL, mapUri };
    LV2_URID_Unmap unmap = { NULL, unmapUri };
    const LV2_URID atomInt = mapUri (NULL, LV2_ATOM__Int);
    const LV2_URID atomFloat = mapUri (NULL, LV2_ATOM__Float);
    const LV2_URID atomSequence = mapUri (NULL, LV2_ATOM__Sequence);
    const LV2_URID atomChunk = mapUri (NULL, LV2_ATOM__Chunk);
    const LV2_URID midiEvent = mapUri (NULL, LV2_MIDI__MidiEvent);

    const int32_t maxBlock = BLOCK, minBlock = 1, sequenceSize = ATOM_CAPACITY;
    const float sampleRate = (float) RATE;
    LV2_Options_Option options[] = {
        { LV2_OPTIONS_INSTANCE, 0, mapUri (NULL, LV2_BUF_SIZE__maxBlockLength), sizeof (int32_t), atomInt, &maxBlock },
        { LV2_OPTIONS_INSTANCE, 0, mapUri (NULL, LV2_BUF_SIZE__minBlockLength), sizeof (int32_t), atomInt, &minBlock },
        { LV2_OPTIONS_INSTANCE, 0, mapUri (NULL, LV2_BUF_SIZE__sequenceSize), sizeof (int32_t), atomInt, &sequenceSize },
        { LV2_OPTIONS_INSTANCE, 0, mapUri (NULL, LV2_PARAMETERS__sampleRate), sizeof (float), atomFloat, &sampleRate },
        { LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, NULL },
    };

    LV2_Feature mapFeature = { LV2_URID__map, &map };
    LV2_Feature unmapFeature = { LV2_URID__unmap, &unmap };
    LV2_Feature optionsFeature = { LV2_OPTIONS__options, options };
    LV2_Feature boundedFeature = { LV2_BUF_SIZE__boundedBlockLength, NULL };
    const LV2_Feature* features[] = { &mapFeature, &unmapFeature, &optionsFeature, &boundedFeature, NULL };

    LilvWorld* world = lilv_world_new();
    char bundleUri[4096];
    snprintf (bundleUri, sizeof (bundleUri), "file://%s/", argv[1]);
    LilvNode* bundle = lilv_new_uri (world, bundleUri);
    lilv_world_load_bundle (world, bundle);

    const LilvPlugins* plugins = lilv_world_get_all_plugins (world);
    LilvNode* pluginUri = lilv_new_uri (world, argv[2]);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri (plugins, pluginUri);
    if (plugin == NULL)
    {
        fprintf (stderr, "no plug-in %s in %s\n", argv[2], argv[1]);
        return 1;
    }

    LilvNode* name = lilv_plugin_get_name (plugin);
    printf ("plug-in: %s\n", lilv_node_as_string (name));
    lilv_node_free (name);

    LilvInstance* instance = lilv_plugin_instantiate (plugin, RATE, features);
    if (instance == NULL)
    {
        fprintf (stderr, "lilv could not instantiate %s\n", argv[2]);
        return 1;
    }

    LilvNode* audioClass = lilv_new_uri (world, LV2_CORE__AudioPort);
    LilvNode* controlClass = lilv_new_uri (world, LV2_CORE__ControlPort);
    LilvNode* atomClass = lilv_new_uri (world, LV2_ATOM__AtomPort);
    LilvNode* inputClass = lilv_new_uri (world, LV2_CORE__InputPort);

    const uint32_t numPorts = lilv_plugin_get_num_ports (plugin);
    float* controls = calloc (numPorts, sizeof (float));
    float* audio[16] = { 0 };
    int numAudioOutputs = 0;
    AtomBuffer* atomInput = NULL;
    AtomBuffer* atomOutputs[8] = { 0 };
    int numAtomOutputs = 0;

    float* defaults = calloc (numPorts, sizeof (float));
    lilv_plugin_get_port_ranges_float (plugin, NULL, NULL, defaults);

    for (uint32_t i = 0; i < numPorts; ++i)
    {
        const LilvPort* port = lilv_plugin_get_port_by_index (plugin, i);
        const int isInput = lilv_port_is_a (plugin, port, inputClass);
        if (lilv_port_is_a (plugin, port, audioClass))
        {
            if (isInput || numAudioOutputs == 16)
            {
                fprintf (stderr, "unexpected audio port %u\n", i);
                return 1;
            }
            audio[numAudioOutputs] = calloc (BLOCK, sizeof (float));
            lilv_instance_connect_port (instance, i, audio[numAudioOutputs++]);
        }
        else if (lilv_port_is_a (plugin, port, controlClass))
        {
            controls[i] = isnan (defaults[i]) ? 0.0f : defaults[i];
            lilv_instance_connect_port (instance, i, &controls[i]);
        }
        else if (lilv_port_is_a (plugin, port, atomClass))
        {
            AtomBuffer* b = calloc (1, sizeof (AtomBuffer));
            if (isInput)
                atomInput = b;
            else if (numAtomOutputs < 8)
                atomOutputs[numAtomOutputs++] = b;
            lilv_instance_connect_port (instance, i, b);
        }
        else
        {
            lilv_instance_connect_port (instance, i, NULL);
        }
    }

    if (atomInput == NULL || numAudioOutputs < 1)
    {
        fprintf (stderr, "expected a MIDI input and at least one audio output (got %d)\n", numAudioOutputs);
        return 1;
    }
    printf ("ports: %u, audio outputs: %d\n", numPorts, numAudioOutputs);

    lilv_instance_activate (instance);

    double peak = 0.0, sumSquares = 0.0;
    long nonFinite = 0, samples = 0;
    const int blocks = (int) (RATE * 2.0 / BLOCK);
    for (int block = 0; block < blocks; ++block)
    {
        clearInput (atomInput, atomSequence);
        for (int o = 0; o < numAtomOutputs; ++o)
            prepareOutput (atomOutputs[o], atomChunk);
        if (block % 40 == 0)
            addMidi (atomInput, midiEvent, 17, 0x90, (uint8_t) (48 + (block / 40) % 12), 110);
        if (block % 40 == 10)
            addMidi (atomInput, midiEvent, 3, 0x80, 48, 0);

        lilv_instance_run (instance, BLOCK);

        for (int ch = 0; ch < numAudioOutputs; ++ch)
            for (int i = 0; i < BLOCK; ++i)
            {
                const float s = audio[ch][i];
                if (! isfinite (s))
                {
                    ++nonFinite;
                    continue;
                }
                if (fabs (s) > peak)
                    peak = fabs (s);
                sumSquares += (double) s * s;
                ++samples;
            }
    }

    lilv_instance_deactivate (instance);
    lilv_instance_free (instance);

    const double rms = samples > 0 ? sqrt (sumSquares / (double) samples) : 0.0;
    printf ("rendered %d blocks: peak %.4f, RMS %.5f, non-finite %ld\n", blocks, peak, rms, nonFinite);

    lilv_node_free (audioClass);
    lilv_node_free (controlClass);
    lilv_node_free (atomClass);
    lilv_node_free (inputClass);
    lilv_node_free (pluginUri);
    lilv_node_free (bundle);
    lilv_world_free (world);

    if (nonFinite > 0)
    {
        fprintf (stderr, "non-finite output\n");
        return 1;
    }
    if (peak < 0.01 || peak > 4.0)
    {
        fprintf (stderr, "the instrument did not sound as expected (peak %.4f)\n", peak);
        return 1;
    }
    printf ("LV2 OK\n");
    return 0;
}
