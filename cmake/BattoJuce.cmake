# JUCE compiled once into a static library that every non-plug-in target links.
add_library(batto_juce STATIC)

target_link_libraries(batto_juce
    PRIVATE
        juce::juce_core
        juce::juce_events
        juce::juce_data_structures
        juce::juce_audio_basics
        juce::juce_audio_formats
        juce::juce_audio_devices
        juce::juce_audio_processors
        juce::juce_audio_utils
        juce::juce_graphics
        juce::juce_gui_basics
        juce::juce_gui_extra
        juce::pkgconfig_JUCE_IMG_LINUX_DEPS
    PUBLIC
        juce::juce_recommended_config_flags
        juce::juce_recommended_warning_flags)

# The module settings of every JUCE build here, the plug-in's own included: Debian strips
# the bundled codecs, and nothing needs a browser, curl or a splash screen.
set(BATTO_JUCE_MODULE_SETTINGS
    JUCE_USE_FLAC=0
    JUCE_USE_OGGVORBIS=0
    JUCE_USE_MP3AUDIOFORMAT=0
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0)

target_compile_definitions(batto_juce
    PUBLIC
        JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
        JUCE_STANDALONE_APPLICATION=1
        ${BATTO_JUCE_MODULE_SETTINGS}
        JUCE_ALSA=1
        JUCE_JACK=1
        JUCE_PLUGINHOST_VST3=1
        JUCE_PLUGINHOST_LV2=1
        JUCE_MODAL_LOOPS_PERMITTED=1)

# Consumers see the same module headers and definitions as the library itself.
target_compile_definitions(batto_juce INTERFACE
    $<TARGET_PROPERTY:batto_juce,COMPILE_DEFINITIONS>)
target_include_directories(batto_juce INTERFACE
    $<TARGET_PROPERTY:batto_juce,INCLUDE_DIRECTORIES>)

# The JACK audio device shows up in the JACK graph as "Batto" (only the device code needs it).
set_property(SOURCE ${JUCE_MODULES_DIR}/juce_audio_devices/juce_audio_devices.cpp
    TARGET_DIRECTORY batto_juce APPEND PROPERTY COMPILE_DEFINITIONS JUCE_JACK_CLIENT_NAME="Batto")
