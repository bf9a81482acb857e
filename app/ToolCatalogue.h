#pragma once

#include <array>

// The twenty tools of the suite, in the order of the main window's labels
// (entry i is shown by lblApp<i+1>, Tag 1000 + i). Key: the value under
// HKEY_LOCAL_MACHINE\SOFTWARE\Kestrelweave\AppPaths that holds the tool's path;
// it is its own name, not derived from the others. Installer: the file fetched
// from the site's /download/ folder. Name: the tool as the download dialog
// names it (the labels carry texts of their own in the form description).
struct TToolEntry {
    const char* Key;
    const char* Installer;
    const char* Name;
};

inline constexpr int ToolCount = 20;
inline constexpr int ToolTagBase = 1000;

inline constexpr std::array<TToolEntry, ToolCount> ToolCatalogue{{
    {"AudioTrimmer", "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer"},
    {"VideoJoiner", "TessalyVideoJoiner.exe", "Tessaly Video Joiner"},
    {"SoundRecorder", "TessalySoundRecorder.exe", "Tessaly Sound Recorder"},
    {"CDRipper", "TessalyDiscRipper.exe", "Tessaly Disc Ripper"},
    {"TagEditor", "TessalyTagEditor.exe", "Tessaly Tag Editor"},
    {"PhotoResizer", "TessalyPhotoResizer.exe", "Tessaly Photo Resizer"},
    {"SlideshowMaker", "TessalySlideshowMaker.exe", "Tessaly Slideshow Maker"},
    {"CaptureScreen", "TessalyScreenCapture.exe", "Tessaly Screen Capture"},
    {"voicechanger", "TessalyVoiceChanger.exe", "Tessaly Voice Changer"},
    {"VideoConverter", "TessalyVideoConverter.exe", "Tessaly Video Converter"},
    {"3DTextAnimator", "Tessaly3DTextAnimator.exe", "Tessaly 3D Text Animator"},
    {"AudioConverter", "TessalyAudioConverter.exe", "Tessaly Audio Converter"},
    {"DVDBurner", "TessalyDVDBurner.exe", "Tessaly DVD Burner"},
    {"WaveEditor", "TessalyWaveformEditor.exe", "Tessaly Waveform Editor"},
    {"BeatMixer", "TessalyBeatMixer.exe", "Tessaly Beat Mixer"},
    {"RingtoneStudio", "TessalyRingtoneStudio.exe", "Tessaly Ringtone Studio"},
    {"VideoSplitter", "TessalyVideoSplitter.exe", "Tessaly Video Splitter"},
    {"LyricsFinder", "TessalyLyricsFinder.exe", "Tessaly Lyrics Finder"},
    {"PodcastPlayer", "TessalyPodcastPlayer.exe", "Tessaly Podcast Player"},
    {"WebcamRecorder", "TessalyWebcamRecorder.exe", "Tessaly Webcam Recorder"},
}};
