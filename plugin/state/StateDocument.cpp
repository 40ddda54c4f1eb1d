#include "../PluginProcessor.h"

// Placeholder until the state document lands.
std::unique_ptr<juce::XmlElement> KVProcessor::createStateXml()
{
    return treeState.copyState().createXml();
}

void KVProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    if (auto xml = createStateXml())
        copyXmlToBinary (*xml, destData);
}

void KVProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (auto xml = getXmlFromBinary (data, sizeInBytes))
        treeState.replaceState (juce::ValueTree::fromXml (*xml));
}
