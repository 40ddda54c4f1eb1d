#include "PresetDialogs.h"

#include "PluginEditor.h"
#include "PresetBrowser.h"
#include "PresetIdentity.h"

namespace
{
using Source = KVProcessor::PresetSource;

constexpr const char* kSaveTitle = "Save PULSKAR-16 Preset";

using kv::presetui::namesInit;
using kv::presetui::readPresetName;
using kv::presetui::readPresetSource;

bool containsIgnoringCase (const juce::StringArray& names, const juce::String& name)
{
    for (const auto& taken : names)
        if (taken.equalsIgnoreCase (name))
            return true;
    return false;
}

//==============================================================================
// The framework's windows.
class FrameworkPresenter : public KVPresetDialogs::Presenter
{
public:
    void showMessage (const juce::String& title, const juce::String& message) override
    {
        juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, title, message);
    }

    void ask (const KVPresetDialogs::Question& question, std::function<void (int)> answer) override
    {
        auto* window = new juce::AlertWindow (question.title, question.message, question.icon,
                                              question.associatedComponent);
        for (const auto& button : question.buttons)
            window->addButton (button.text, button.result, button.shortcut);

        // The window is not deleted on dismissal: its callback answers, then deletes it.
        window->enterModalState (true,
                                 juce::ModalCallbackFunction::create ([window, answer] (int result)
                                                                      {
                                                                          if (answer)
                                                                              answer (result);
                                                                          delete window;
                                                                      }),
                                 false);
    }

    void launchSaveChooser (juce::FileChooser& chooser, const juce::File&,
                            std::function<void (const juce::File&)> onResult) override
    {
        chooser.launchAsync (juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles,
                             [onResult] (const juce::FileChooser& finished) { onResult (finished.getResult()); });
    }
};

KVPresetDialogs::Presenter* installedPresenter = nullptr;
} // namespace

void KVPresetDialogs::setPresenter (Presenter* p)
{
    installedPresenter = p;
}

KVPresetDialogs::Presenter& KVPresetDialogs::presenter()
{
    static FrameworkPresenter framework;
    return installedPresenter != nullptr ? *installedPresenter : framework;
}

void KVPresetDialogs::notifyHostOfPresetListChange (KVProcessor& processor)
{
    processor.updateHostDisplay (juce::AudioProcessor::ChangeDetails()
                                     .withLatencyChanged (true)
                                     .withParameterInfoChanged (true)
                                     .withProgramChanged (true)
                                     .withNonParameterStateChanged (false));
}

//==============================================================================
void KVPresetDialogs::showLoadFailed (const juce::String& name)
{
    presenter().showMessage ("Load Failed", "Could not load preset \"" + name + "\".");
}

void KVPresetDialogs::showDeleteFailed (const juce::String& name)
{
    presenter().showMessage ("Delete Failed", "Could not delete preset \"" + name + "\".");
}

juce::String KVPresetDialogs::browserDeleteMessage (const juce::String& name)
{
    return "Delete user preset \"" + name + "\"?";
}

KVPresetDialogs::Question KVPresetDialogs::deleteQuestion (const juce::String& message)
{
    Question question;
    question.title = "Delete Preset";
    question.message = message;
    question.icon = juce::MessageBoxIconType::WarningIcon;
    question.buttons = { { "Delete", 1, juce::KeyPress (juce::KeyPress::returnKey) },
                         { "Cancel", 0, juce::KeyPress (juce::KeyPress::escapeKey) } };
    return question;
}

//==============================================================================
void KVPresetDialogs::promptSavePreset (KVEditor& editor)
{
    auto& processor = editor.processor;
    const auto name = readPresetName (processor);
    const auto source = readPresetSource (processor);

    if (! namesInit (name) && source == Source::User && processor.isUserPreset (name))
    {
        Question question;
        question.title = kSaveTitle;
        question.message = "Save changes to \"" + name + "\"?";
        question.icon = juce::MessageBoxIconType::NoIcon;
        question.associatedComponent = &editor;
        question.buttons = { { "Overwrite", 1, {} }, { "Save As...", 2, {} }, { "Cancel", 0, {} } };

        juce::Component::SafePointer<KVEditor> safeEditor (&editor);
        presenter().ask (question, [safeEditor, name] (int result)
                         {
                             if (auto* e = safeEditor.getComponent())
                                 answerOverwriteQuestion (*e, result, name);
                         });
        return;
    }

    showSavePresetChooser (editor, namesInit (name) ? juce::String ("New Preset") : name);
}

void KVPresetDialogs::answerOverwriteQuestion (KVEditor& editor, int result, const juce::String& askedName)
{
    auto& processor = editor.processor;
    if (result == 1)
    {
        // The current preset may have changed while the question was open: save what is current now.
        const auto name = readPresetName (processor);
        if (name != "Init")
            processor.savePreset (name, true);
        editor.refreshPresetControls();
    }
    else if (result == 2)
    {
        showSavePresetChooser (editor, askedName + " Copy");
    }
}

void KVPresetDialogs::saveAsUserPreset (KVEditor& editor)
{
    const auto name = readPresetName (editor.processor);
    showSavePresetChooser (editor, namesInit (name) ? juce::String ("New Preset") : name);
}

juce::String KVPresetDialogs::uniqueSaveName (const juce::StringArray& taken, const juce::String& suggestedName)
{
    auto base = KVProcessor::sanitisePresetName (suggestedName);
    if (base.isEmpty())
        base = "New Preset";

    if (! containsIgnoringCase (taken, base))
        return base;

    for (int n = 2;; ++n)
    {
        const auto candidate = base + " " + juce::String (n);
        if (! containsIgnoringCase (taken, candidate))
            return candidate;
    }
}

void KVPresetDialogs::showSavePresetChooser (KVEditor& editor, const juce::String& suggestedName)
{
    const auto folder = KVProcessor::getUserPresetDirectory();
    const auto taken = getPresetNamesFromDirectory (folder);
    if (! folder.isDirectory())
        folder.createDirectory();

    const auto initialFile = folder.getChildFile (uniqueSaveName (taken, suggestedName) + ".pk16");

    editor.fileChooser = std::make_unique<juce::FileChooser> (kSaveTitle, initialFile, "*.pk16", true);

    juce::Component::SafePointer<KVEditor> safeEditor (&editor);
    presenter().launchSaveChooser (*editor.fileChooser, initialFile, [safeEditor] (const juce::File& chosen)
                                   {
                                       if (auto* e = safeEditor.getComponent())
                                           handleSaveChooserResult (*e, chosen);
                                   });
}

void KVPresetDialogs::handleSaveChooserResult (KVEditor& editor, const juce::File& chosen)
{
    editor.fileChooser.reset();
    if (chosen == juce::File())
        return;

    auto& processor = editor.processor;
    const auto userFolder = KVProcessor::getUserPresetDirectory();
    if (! chosen.getParentDirectory().getFullPathName().equalsIgnoreCase (userFolder.getFullPathName()))
    {
        presenter().showMessage ("Use User Presets",
                                 "Factory presets are read-only. Save edited presets in the User folder.");
        return;
    }

    const auto name = KVProcessor::sanitisePresetName (chosen.getFileNameWithoutExtension());
    if (name.isEmpty())
        return;

    if (containsIgnoringCase (getPresetNamesFromDirectory (userFolder), name))
    {
        presenter().showMessage ("Preset Exists", "A preset named \"" + name
                                                      + "\" already exists. Choose a new name to avoid overwriting it.");
        return;
    }

    if (processor.savePreset (name, false))
    {
        editor.refreshPresetControls();
        if (editor.presetBrowser != nullptr)
            editor.presetBrowser->reload();
    }
}

//==============================================================================
void KVPresetDialogs::deleteCurrentPreset (KVEditor& editor)
{
    const auto name = readPresetName (editor.processor);
    const auto source = readPresetSource (editor.processor);
    if (namesInit (name) || source != Source::User)
        return;

    juce::Component::SafePointer<KVEditor> safeEditor (&editor);
    presenter().ask (deleteQuestion ("Delete preset \"" + name + "\"?"), [safeEditor, name] (int result)
                     {
                         if (auto* e = safeEditor.getComponent())
                             answerDeleteQuestion (*e, result, name);
                     });
}

void KVPresetDialogs::answerDeleteQuestion (KVEditor& editor, int result, const juce::String& askedName)
{
    if (result != 1)
        return;

    auto& processor = editor.processor;
    const auto clean = KVProcessor::sanitisePresetName (askedName);
    bool deleted = false;
    if (! namesInit (clean))
    {
        const auto file = processor.getPresetFile (clean);
        deleted = file.existsAsFile() && file.deleteFile();
    }

    if (deleted)
    {
        if (readPresetName (processor) == clean && readPresetSource (processor) == Source::User)
            processor.loadInitPreset();
        notifyHostOfPresetListChange (processor);
    }
    else
    {
        showDeleteFailed (askedName);
    }

    editor.refreshPresetControls();
}
