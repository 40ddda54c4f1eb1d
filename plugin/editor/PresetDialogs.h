#pragma once

// The preset dialogs: the SAVE button's overwrite question, the save dialog (shared by SAVE,
// the preset box's "Save As User..." and the browser's SAVE AS USER), the delete questions and
// the failure messages of every preset action.
//
// All windows are modal but asynchronous: an answer comes back through a callback, and an
// answer that arrives after the editor (or browser) that asked is gone is ignored.

#include "../PluginProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>
#include <functional>
#include <vector>

class KVEditor;

class KVPresetDialogs
{
public:
    // A question window: title, message, icon, buttons with result codes and shortcut keys.
    struct Question
    {
        struct Button
        {
            juce::String text;
            int result = 0;
            juce::KeyPress shortcut;
        };

        juce::String title;
        juce::String message;
        juce::MessageBoxIconType icon = juce::MessageBoxIconType::NoIcon;
        juce::Component* associatedComponent = nullptr;
        std::vector<Button> buttons;
    };

    // How the windows reach the screen. The default shows framework windows; a test installs its
    // own to read the questions and answer them.
    class Presenter
    {
    public:
        virtual ~Presenter() = default;
        // The warning message box with its single OK button.
        virtual void showMessage (const juce::String& title, const juce::String& message) = 0;
        // A question; `answer` receives the result code of the button chosen.
        virtual void ask (const Question& question, std::function<void (int)> answer) = 0;
        // Launches the save dialog (already configured to start at `initialFile`); `onResult`
        // receives the chosen file, or an empty file when the dialog was cancelled.
        virtual void launchSaveChooser (juce::FileChooser& chooser, const juce::File& initialFile,
                                        std::function<void (const juce::File&)> onResult) = 0;
    };

    // nullptr restores the framework windows.
    static void setPresenter (Presenter* presenter);
    static Presenter& presenter();

    // SAVE: the overwrite question for a current user preset, the save dialog otherwise.
    static void promptSavePreset (KVEditor& editor);
    // "Save As User..." / SAVE AS USER: the save dialog with the current name suggested.
    static void saveAsUserPreset (KVEditor& editor);
    // Opens the save dialog in the user folder with a name made unique from `suggestedName`.
    static void showSavePresetChooser (KVEditor& editor, const juce::String& suggestedName);
    // What the save dialog does with the file chosen (an empty file: cancelled).
    static void handleSaveChooserResult (KVEditor& editor, const juce::File& chosen);
    // The panel's DELETE: asks, then removes the current user preset.
    static void deleteCurrentPreset (KVEditor& editor);

    // The name the save dialog starts with: the cleaned suggestion (or "New Preset"), followed by
    // " 2", " 3", ... while it equals a taken name in any letter case.
    static juce::String uniqueSaveName (const juce::StringArray& taken, const juce::String& suggestedName);

    // The answers, also run directly by tests.
    static void answerOverwriteQuestion (KVEditor& editor, int result, const juce::String& askedName);
    static void answerDeleteQuestion (KVEditor& editor, int result, const juce::String& askedName);

    // Message texts shared with the preset browser.
    static void showLoadFailed (const juce::String& name);
    static void showDeleteFailed (const juce::String& name);
    static juce::String browserDeleteMessage (const juce::String& name);
    static Question deleteQuestion (const juce::String& message);

    // Tells the host that the program list may have changed.
    static void notifyHostOfPresetListChange (KVProcessor& processor);
};
