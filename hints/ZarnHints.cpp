#include "hints/ZarnHints.h"

// "Unison Voices"
const char* const cHintUnisonVoices =
    "The Unison Voices button lets you specify the number of unison voices. When using unison, multiple voices will be activated for each key that you play. Those voices will be panned from left to right, and can be slightly detuned relative to each other using the Unison Detune knob. Using unison will make you patches sound much more stereo and fat. Try it!";

// "Total Voices"
const char* const cHintTotalVoices =
    "The Total Voices button lets you specifiy the total number of voices that can be played at the same time.";

// "Unison Spread"
const char* const cHintUnisonDetune =
    "With the Unison Detune knob, you can slightly detune the different unison voices relative to each other.";

// "Polyphony"
const char* const cHintPolyphony =
    "With the Polyphony switch, you can choose to use Quorvane Zarn in either Mono or Poly mode. In Poly mode, the Voices setting determines the number of voices that can be played simultaneously.\n"
    "\n"
    "Depending on the complexity of the current patch, you should set this to a value that your computer can comfortably handle to avoid glitches while playing.";

// the eight section-preset buttons (editor)
const char* const cHintComponentPresets =
    "The Section Presets button opens the section preset menu. Using this menu, you can load and save the settings of this particular section of the synth.\n"
    "\n"
    "In this way, you can easily re-use certain oscillator and EG settings, for example. This especially makes it easy to duplicate settings across LFOs and EGs.";

// the Learn-menu button (editor)
const char* const cHintMidiLeanMenu =
    "The MIDI Learn Menu lets you control the current parameter associations. The menu that pops up enables you to view all settings, clear specific settings or all settings, save all settings and revert to previously saved settings.";

// the Learn button (editor)
const char* const cHintMidiLearnButton =
    "The MIDI Learn button enables or disables MIDI Learning. With MIDI learn, you can associate MIDI controller numbers with any parameter. When the button is activated (when the light is on), do the following to associate a controller number with a parameter:\n"
    "\n"
    "1) Turn the knob or adjust the switch for the desired parameter in the interface.\n"
    "\n"
    "2) Adjust the slider or knob on your MIDI keyboard or MIDI controller that you want to associate with that parameter.\n"
    "\n"
    "That is all! The parameter will now be controlled by the MIDI controller. The controller number appears in the Learn button to show the association while MIDI learn is on. You can now go back to step 1 to associate a different parameter. If you turn a knob for a parameter that already has an association, the MIDI learn button shows the corresponding controller number.";

// the three bank buttons (editor)
const char* const cHintBankButton =
    "The bank buttons control which slots you are currently viewing. You have 24 slots at your disposal, and only eight of them are visible at a time. Use these A, B, C buttons to switch between banks. If a bank contains active slots, its button will be highlighted.";

// a slot unit's warning image
const char* const cHintSlotWarning =
    "Although you can modulate almost any parameter with any source, some connections are not possible because they would introduce infinite loops.\n"
    "\n"
    "The basic rule is that an envelope generator or LFO cannot modulate its own parameters (because it would need its own output to calculate its output). When you make such a connection, a warning sign will appear in the slot and the slot will be ignored when producing audio.";

// a slot unit's invert switch
const char* const cHintSlotInvert =
    "The Invert switch inverts the modulation signal produced by the selected source, before using it to modulate the selected target.";

// a slot unit's target select button
const char* const cHintSlotTarget =
    "The Target button lets you select one of the available modulation targets that will be modulated by the source of this modulation slot.\n"
    "\n"
    "Tip: You don't need to use these menus. Just drag the source button for a modulation source to a target to fill a modulation slot!";

// a slot unit's source select button
const char* const cHintSlotSource =
    "The Source button lets you select one of the available modulation sources that will modulate the target of this modulation slot.\n"
    "\n"
    "Tip: You don't need to use these menus. Just drag the source button for a modulation source to a target to fill a modulation slot!";

// a slot unit's bypass toggle
const char* const cHintSlotByPass =
    "The Bypass button temporarily disables the modulation slot. Use the Clear button to clear the slot permanently.";

// a slot unit's clear button
const char* const cHintSlotClear =
    "The Clear slot button clears the modulation connection and resets all controls. \n"
    "\n"
    "Note: If you want to temporarily disable a modulation slot, use the Bypass button instead.";

// a slot unit's level knob
const char* const cHintSlotLevel =
    "The Modulation Level knob determines the amount of modulation for the modulation connection.\n"
    "\n"
    "Tip: The level knob is also a modulation target!";

// EG 1 and EG 2 Range
const char* const cHintEGOffset =
    "The Offset switch determines whether the envelope generator produces a signal between 0 and 1 or a signal from which the sustain level is subtracted. This way, it produces 0.0 values when in sustain phase, which is very useful when modulating oscillator frequencies for example.";

// EG 1 and EG 2 Delay
const char* const cHintEGDelay =
    "The Delay knob delays the start of the envelope after a key has been pressed.";

// the Release of the three envelopes
const char* const cHintEGRelease =
    "The Release knob controls how long it takes for the signal to decrease from the current level to zero when you release a key and the hold time has elapsed.";

// the Sustain of the three envelopes
const char* const cHintEGSustain =
    "The Sustain knob sets the level that is produced when both the attack and decay stages are over, but the key is still held down.";

// the Decay of the three envelopes
const char* const cHintEGDecay =
    "The Decay knob controls how long it takes for the signal to decrease to sustain level, after the maximum value has been reached at the end of the attack stage.\n"
    "\n"
    "The effect of the decay setting depends on the sustain level. With a low sustain level and short attack and decay times, the envelope generator produces a sharp tick whenever you press a key. With the sustain level at its maximum, the volume does not decrease at all, so the decay setting has no effect.";

// the Attack of the three envelopes
const char* const cHintEGAttack =
    "The Attack knob sets the attack time, which controls how long it takes for the signal to increase when you press a key. The signal always increases from zero to the maximum value.\n"
    "\n"
    "Tip: Set this to 0 for staccato instruments and drums. Use larger values for more natural sounds, such as flutes and pads.";

// EG Main Hold
const char* const cHintEGHold =
    "The Hold knob sets the extra time that a key appears to be held down after you have released it. After releasing a key, the envelope generator pretends it is still down for the duration of the hold time. This enables you to press new keys while the previous note is still playing.";

// LFO 1 to 3 polarity
const char* const cHintLFOPolarity =
    "The Mono-Polarity toggle button affects the range of the LFO signal. By default, the LFO generates bi-polar wave forms between -1 and 1. This means that when you use an LFO to modulate, for example, the filter cut-off frequency, the LFO will move that frequency to either side of the selected cut-off value. When the mono-polarity toggle button is enabled, the LFO will generate positive-only signals between 0 and 1.";

// each LFO's MIDI Trigger
const char* const cHintLFOTrigger =
    "The MIDI Trigger toggle button is used to enable the triggering of the LFO by MIDI note-on messages. When triggered, the LFO will start a new phase.\n"
    "\n"
    "Note: If MIDI triggering is combined with frequency synchronization, the LFO will still synchronize the frequency and song position with the host, but the relative position is changed when triggered.";

// each LFO's Frequency and SyncFreq
const char* const cHintLFOFrequency =
    "The Frequency knob sets the speed of the wave form that is produced by the LFO. When synchronized to the host's tempo and position (with the sync switch at one of the note symbols), you can choose a 'frequency' in bars, between 16 bars and 1/64 bar. Otherwise, you can set an arbitrary frequency.\n"
    "\n"
    "Tip: The LFO frequency setting is a modulation target.";

// each LFO's SyncMode
const char* const cHintLFOSyncMode =
    "The Sync switch chooses between arbitrary frequency settings and synchronizing with the tempo and song position of the plug-in host. You can either synchronize in straight mode, dotted mode (resulting in a frequency that is one and a half times that of straight synchronization) or triplets mode (resulting in two/thirds of the straight frequency).";

// each LFO's Balance
const char* const cHintLFOBalance =
    "The Balance knob adjusts the balance between rising and falling ramps in the wave form. For example, when you have selected a triangle wave, and you turn the Balance knob counter-clockwise, the wave form will become more sawtooth-like.\n"
    "\n"
    "Tip: To reset the wave form, hold down the Ctrl key (Windows) or Command key (Mac) and click the knob once.";

// each LFO's WaveForm
const char* const cHintLFOWaveForm =
    "The Wave Form switch selects a triangle, square, sine, random triangle or sample-and-hold wave, which can be used for modulation purposes.";

// "Stereo"
const char* const cHintGeneralStereo =
    "The Stereo knob controls the stereo spreading. By default, the stereo spreading knob points to 'normal stereo', which means that it does not alter the signal. By turning the knob left, the signal will become more mono. By turning the knob the other way, the differences between the left and right channel are exaggerated, which makes the sound more stereo.\n"
    "\n"
    "Note: Beware that making the signal more stereo can cause some undesirable phase cancellation.";

// "Volume"
const char* const cHintGeneralVolume =
    "The Volume knob controls the main output volume.\n"
    "\n"
    "Tip: Modulate this main volume with the velocity modulation source to get velocity sensitivity.";

// "Filter Routing"
const char* const cHintFilterRouting =
    "The Filter Routing switch sets the internal routing of the two filters. They can be routed serial (one after another), parallel (input signal to both filters and then added), or per oscillator (oscillator 1 to filter 1 and oscillator 2 to filter 2).";

// the display and no-display buttons (editor)
const char* const cHintFilterDisplayToggle =
    "With the Display Toggle button, you can toggle between the interactive filter display or the default controls view.";

// the filter display's background image (editor)
const char* const cHintFilterDisplay =
    "With the Interactive Filter Display, you can control the cut-off and peak of both filters. Just grab one of the dots and drag it around.\n"
    "\n"
    "Tips:\n"
    "\n"
    "Hold down the Ctrl and Alt keys (Windows) or the Command and Alt keys (Mac) and drag the button for filter 1 or 2 to adjust both filters simultaneously, but in the opposite direction.\n"
    "\n"
    "Shift-click the button for filter 1 or 2 to toggle the filter slope.\n"
    "\n"
    "Ctrl-click (Command-click on Mac) the button for filter 1 or 2 to toggle between the different filter responses.";

// each filter's Enabled
const char* const cHintFilterByPass =
    "With the Filter Bypass button, you can bypass the filtering process. All sound will pass through unaltered if the filter is bypassed.";

// each filter's Response
const char* const cHintFilterResponse =
    "The Filter Response switch controls whether the filter passes through frequencies below the cut-off (Low Pass) mode, higher than the cut-off (High Pass) or around the cut-off frequency (Band Pass).";

// each filter's Slope
const char* const cHintFilterSlope =
    "This Filter Slope switch sets the steepness of the filter; it controls how aggressively the frequencies around the center frequency are filtered.";

// each filter's Peak
const char* const cHintFilterPeak =
    "The Filter Peak knob controls the peak (or resonance) of the filter. Higher peak values will attenuate frequencies around the cut-off frequency.\n"
    "\n"
    "Tip: You can adjust both filter peak knobs at the same time by holding down the Alt key.";

// each filter's Characteristic
const char* const cHintFilterCharacteristic =
    "Using the Filter Characteristic select button, you can select different filter characteristics. This way you can make the filter sound either very smooth but also very aggressive.\n"
    "\n"
    "Tip: Try to load the Clean preset and try every filter characteristic to get a good idea of the differences in sound.";

// each filter's Pan
const char* const cHintFilterPan =
    "With the outer Filter Panning ring, you can set the panning of the filter. For example, when turning this knob left, a slighly lower cut-off is used for the left audio channel and a higher cut-off for the right channel.\n"
    "\n"
    "Tip: You can adjust both filter panning knobs at the same time by holding down the Alt key.";

// each filter's Freq
const char* const cHintFilterCutOff =
    "With the Cut-off Frequency knob, you can control the cut-off frequency of the filter. Depending on the low-, high-, or bandpass setting, frequencies above and/or below this value will pass through.\n"
    "\n"
    "Tip: You can adjust both filter cut-off knobs at the same time by holding down the Alt key.";

// "Noise Type"
const char* const cHintOscNoiseType =
    "The Noise Type switch lets you choose between white noise (left) or pink noise (right). White noise sounds quite clean, while pink noise sounds really dirty.";

// "Noise Level" and "Noise Pan"
const char* const cHintOscNoise =
    "The Noise Oscillator optionally adds white or pink noise, with its own Level/Pan knob (also modulation targets).\n"
    "\n"
    "A small amount of noise often makes instruments sound more natural, and you can create thundering sound effects with lots of pink noise.";

// "Portamento Mode"
const char* const cHintOscPortamentoMode =
    "The Portamento Mode switch lets you choose between high/low key portamento (always gliding when holding down keys) or legato portamento (only gliding when the original key is still down while pressing a new key).";

// "Portamento"
const char* const cHintOscPortamento =
    "The Portamento knob adjusts the amount of portamento or glide, which makes the oscillators slide from one note to another. A little portamento is great for smooth keyboard solos, or when playing large bass intervals.\n"
    "\n"
    "The portamento feature in Quorvane Zarn is unique because it also works in polyphonic mode, so you can play sliding chords!";

// each oscillator's Level and Pan
const char* const cHintOscLevelPan =
    "The combined Level/Pan knobs are used to adjust the volume of each oscillator. The outer ring sets the panning, the inner knob the overall level. Both are modulation targets.\n"
    "\n"
    "Tip: You can adjust both level or pan knobs at the same time by holding down the Alt key.";

// each oscillator's Wave Form
const char* const cHintOscWave =
    "The Wave Form switch selects the wave form that the oscillator produces: triangle (a soft, warm tone), sawtooth (a sharp bright tone that is ideal for filtering), and square (a more metallic sound).";

// each oscillator's Pulse Width
const char* const cHintOscPulse =
    "The Pulse knob adjusts the pulse width of the square wave form, from an even square to an infinitely thin pulse (which is inaudible). It is a modulation target.\n"
    "\n"
    "Tip: You can adjust both pulse-width knobs at the same time by holding down the Alt key.";

// each oscillator's Sync
const char* const cHintOscSync =
    "The Sync knob adjusts the level of hard sync for its oscillator. When set to 1, the oscillator works normally without hard sync. When set to a higher value, the oscillator will 'squeeze' more phases into one actual audible phase, which drastically changes the harmonics in the sound with a metallic-sounding effect.\n"
    "\n"
    "Sync is a modulation target.\n"
    "\n"
    "Tip: You can adjust both oscillator sync knobs at the same time by holding down the Alt key.";

// "Osc 1 Phase Sync" and "Osc 2 Phase Sync"
const char* const cHintOscPhaseSync =
    "The Phase Sync button toggles oscillator phase sync on and off. When oscillator phase sync is on, the oscillator resets its phase to halfway the wave form on each note-on event. With short, percussive sounds, this works really well to create a sharp and aggressive attack. However, normally you should turn it off because it can introduce unwanted clicks otherwise.";

// "Osc 2 Detune" and Osc 2's Scale
const char* const cHintOscDetune =
    "The inner Detune knob sets the detune for oscillator 2, and its outer Scale knob transposes the detune by full octaves (0, 1, 2, or 3 octaves up). The Detune knob has a range of one octave, and it is extra sensitive around the 0 position so you can set small detunes easily. It is also a modulation target.";

// "Master Tune" and Osc 1's Scale
const char* const cHintOscMasterTune =
    "The inner Master Tune knob determines the frequency offset of both oscillators. The outer Scale knob transposes the frequency by full octaves.\n"
    "\n"
    "The Master Tune knob is a modulation target that modulates the frequency of both oscillators.";

// the welcome hint on the first run of an installation
const char* const cHintFirstRun =
    "Welcome to Quorvane Zarn! This help hint window gives you hints and tips when you move the mouse cursor over a control. It pops up after one second.\n"
    "\n"
    "If you want to learn more, open the user manual by clicking Help Topics in the Help menu.\n"
    "\n"
    "Tip: You can disable help hints by unchecking Show Interactive Help Hints in the Help menu.";

namespace {
const char* const kAll[cHintCount] = {
    cHintUnisonVoices,
    cHintTotalVoices,
    cHintUnisonDetune,
    cHintPolyphony,
    cHintComponentPresets,
    cHintMidiLeanMenu,
    cHintMidiLearnButton,
    cHintBankButton,
    cHintSlotWarning,
    cHintSlotInvert,
    cHintSlotTarget,
    cHintSlotSource,
    cHintSlotByPass,
    cHintSlotClear,
    cHintSlotLevel,
    cHintEGOffset,
    cHintEGDelay,
    cHintEGRelease,
    cHintEGSustain,
    cHintEGDecay,
    cHintEGAttack,
    cHintEGHold,
    cHintLFOPolarity,
    cHintLFOTrigger,
    cHintLFOFrequency,
    cHintLFOSyncMode,
    cHintLFOBalance,
    cHintLFOWaveForm,
    cHintGeneralStereo,
    cHintGeneralVolume,
    cHintFilterRouting,
    cHintFilterDisplayToggle,
    cHintFilterDisplay,
    cHintFilterByPass,
    cHintFilterResponse,
    cHintFilterSlope,
    cHintFilterPeak,
    cHintFilterCharacteristic,
    cHintFilterPan,
    cHintFilterCutOff,
    cHintOscNoiseType,
    cHintOscNoise,
    cHintOscPortamentoMode,
    cHintOscPortamento,
    cHintOscLevelPan,
    cHintOscWave,
    cHintOscPulse,
    cHintOscSync,
    cHintOscPhaseSync,
    cHintOscDetune,
    cHintOscMasterTune,
    cHintFirstRun,
};
} // namespace

const char* const* const cHintTexts = kAll;
