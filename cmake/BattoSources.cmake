# The drummer's sources, listed once. The folders' libraries are made from these lists; the
# targets that compile the whole drummer themselves (the plug-in, with its own JUCE; the race
# tests, under ThreadSanitizer; the fuzz targets, a clang project of their own that includes
# this file too) take them from batto_add_drummer_sources. A new source file goes into one
# list here and reaches every build.
#
# Nothing here needs a target of the main project: the caller links JUCE, the embedded sounds
# and the LV2 headers its own way.

get_filename_component(BATTO_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

function(batto_sources_in folder variable)
    list(TRANSFORM ARGN PREPEND ${BATTO_SOURCE_ROOT}/${folder}/)
    set(${variable} ${ARGN} PARENT_SCOPE)
endfunction()

# The engine: beat clock, note-on analysis, host interface.
batto_sources_in(engine BATTO_ENGINE_SOURCES Batto.cpp VexMidiInput.cpp)

# Processor pieces that are the same in every build: the MIDI-in filter bases, the state
# record codec (the bass follower uses both), the display-code queue, the host's song
# position, the hand-over of a block's MIDI to the host, the names of the sync sources and the
# MIDI clock follower.
batto_sources_in(processor BATTO_PROCESSOR_COMMON_SOURCES
    AudioProcessorWITHOUTMidiInFilter.cpp
    AudioProcessorWITHMidiInFilter.cpp
    readAndWriteDataChunk.cpp
    DisplayCodeFifo.cpp
    HostSongPosition.cpp
    MidiOutputHandOver.cpp
    SyncSource.cpp
    MidiClockFollower.cpp
    MidiClockSender.cpp)

# The drummer's processor, one class spread over files by concern (its panel apart, below).
batto_sources_in(processor BATTO_PROCESSOR_SOURCES
    BattoAudioProcessor.cpp
    BattoAudioProcessorCommands.cpp
    BattoAudioProcessorHostInterface.cpp
    BattoAudioProcessorHostTransport.cpp
    BattoAudioProcessorSound.cpp
    BattoAudioProcessorState.cpp
    BattoAudioProcessorSync.cpp
    BattoAudioProcessorClockIn.cpp
    BattoAudioProcessorClockOut.cpp)

# The processor's panel: createEditor() and the editor it builds.
batto_sources_in(processor processor_panel BattoAudioProcessorEditor.cpp)
batto_sources_in(editor editor_panel BattoEditor.cpp BattoEditorIndicators.cpp MidiDrumMapComponent.cpp
    VexLookAndFeel.cpp)
set(BATTO_PANEL_SOURCES ${processor_panel} ${editor_panel})

# Takes: the audio thread's recorder (the processor's part), the writer's thread and the files.
batto_sources_in(processor BATTO_TAKE_RECORDER_SOURCES TakeRecorder.cpp)
batto_sources_in(processor BATTO_TAKE_FILE_SOURCES TakeWriter.cpp TakeMidiFile.cpp TakeWavFile.cpp)

# The bass follower: the audio path (both builds) and live MIDI (the standalone application).
batto_sources_in(bass BATTO_BASS_AUDIO_SOURCES GravaAudioProcessor.cpp)
batto_sources_in(bass BATTO_BASS_MIDI_SOURCES GravaMidiProcessor.cpp)

# WAV decoding into buffers at the device's rate, and the standalone build's kit sample player.
batto_sources_in(sound BATTO_SOUND_DECODE_SOURCES FillBufferToPlayAux.cpp MyAudioSource.cpp)
batto_sources_in(sound BATTO_KIT_SOURCES KitSamplePlayer.cpp BattokitFolder.cpp ResidentMemory.cpp)

# The standalone build's hosted instrument plug-in: loading, rendering, its state file, its
# window, and the recording of a kit folder from it. Its LV2 reader needs lilv's headers.
batto_sources_in(sound BATTO_EXTERNAL_SOURCES
    ExternalPluginLoader.cpp
    ExternalPluginOwner.cpp
    ExternalPluginStateFile.cpp
    ExternalPluginWindowOwner.cpp
    BattokitRecorder.cpp)

# batto_add_drummer_sources(target VARIANT standalone|plugin [WITHOUT_PANEL])
# Compiles the drummer's processor of one build into target, with its include folders and
# BATTO_PLUGIN_BUILD: the engine, the processor, the bass follower's audio path and the panel;
# the standalone build adds the kit player, the hosted instrument and the take recorder.
# WITHOUT_PANEL leaves out createEditor() and the editor: the caller defines createEditor().
function(batto_add_drummer_sources target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "WITHOUT_PANEL" "VARIANT" "")
    set(sources ${BATTO_ENGINE_SOURCES} ${BATTO_PROCESSOR_COMMON_SOURCES} ${BATTO_PROCESSOR_SOURCES}
        ${BATTO_BASS_AUDIO_SOURCES})
    set(folders engine processor bass)
    if(arg_VARIANT STREQUAL "standalone")
        set(plugin_build 0)
        list(APPEND sources ${BATTO_SOUND_DECODE_SOURCES} ${BATTO_KIT_SOURCES} ${BATTO_EXTERNAL_SOURCES}
            ${BATTO_TAKE_RECORDER_SOURCES})
        list(APPEND folders sound)
    elseif(arg_VARIANT STREQUAL "plugin")
        set(plugin_build 1)
    else()
        message(FATAL_ERROR "batto_add_drummer_sources: VARIANT is standalone or plugin, not '${arg_VARIANT}'")
    endif()
    if(NOT arg_WITHOUT_PANEL)
        list(APPEND sources ${BATTO_PANEL_SOURCES})
        list(APPEND folders editor)
    endif()
    list(TRANSFORM folders PREPEND ${BATTO_SOURCE_ROOT}/)
    target_sources(${target} PRIVATE ${sources})
    target_include_directories(${target} PRIVATE ${folders})
    target_compile_definitions(${target} PRIVATE BATTO_PLUGIN_BUILD=${plugin_build})
endfunction()
