#pragma once

// The interactive help texts: one per control of the editor, shared by the
// synthesizer's parameters (each stores its text as its hint) and by the
// editor, which sets them on the controls that are bound to no parameter.
// English, fixed; paragraphs are separated by line feeds.

extern const char* const cHintUnisonVoices;
extern const char* const cHintTotalVoices;
extern const char* const cHintUnisonDetune;
extern const char* const cHintPolyphony;
extern const char* const cHintComponentPresets;
extern const char* const cHintMidiLeanMenu;
extern const char* const cHintMidiLearnButton;
extern const char* const cHintBankButton;
extern const char* const cHintSlotWarning;
extern const char* const cHintSlotInvert;
extern const char* const cHintSlotTarget;
extern const char* const cHintSlotSource;
extern const char* const cHintSlotByPass;
extern const char* const cHintSlotClear;
extern const char* const cHintSlotLevel;
extern const char* const cHintEGOffset;
extern const char* const cHintEGDelay;
extern const char* const cHintEGRelease;
extern const char* const cHintEGSustain;
extern const char* const cHintEGDecay;
extern const char* const cHintEGAttack;
extern const char* const cHintEGHold;
extern const char* const cHintLFOPolarity;
extern const char* const cHintLFOTrigger;
extern const char* const cHintLFOFrequency;
extern const char* const cHintLFOSyncMode;
extern const char* const cHintLFOBalance;
extern const char* const cHintLFOWaveForm;
extern const char* const cHintGeneralStereo;
extern const char* const cHintGeneralVolume;
extern const char* const cHintFilterRouting;
extern const char* const cHintFilterDisplayToggle;
extern const char* const cHintFilterDisplay;
extern const char* const cHintFilterByPass;
extern const char* const cHintFilterResponse;
extern const char* const cHintFilterSlope;
extern const char* const cHintFilterPeak;
extern const char* const cHintFilterCharacteristic;
extern const char* const cHintFilterPan;
extern const char* const cHintFilterCutOff;
extern const char* const cHintOscNoiseType;
extern const char* const cHintOscNoise;
extern const char* const cHintOscPortamentoMode;
extern const char* const cHintOscPortamento;
extern const char* const cHintOscLevelPan;
extern const char* const cHintOscWave;
extern const char* const cHintOscPulse;
extern const char* const cHintOscSync;
extern const char* const cHintOscPhaseSync;
extern const char* const cHintOscDetune;
extern const char* const cHintOscMasterTune;
extern const char* const cHintFirstRun;

// All of them, in the order above.
constexpr int cHintCount = 52;
extern const char* const* const cHintTexts;
