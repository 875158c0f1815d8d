# The layers, proved by the compiler: each probe is one #include compiled with the include
# directories the sources of a layer have. A header the layer
# must not see has to fail as not found; a header it may see has to compile, which shows
# the probes themselves work. The probes are built by their test, never by default.
#
# zuna_layer_probe(<layer> <header> ALLOWED|FORBIDDEN), <header> as written after #include.
function(zuna_layer_probe layer header verdict)
    string(MAKE_C_IDENTIFIER "${layer}_${header}" id)
    set(source ${CMAKE_CURRENT_BINARY_DIR}/layers/${id}.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "#include ${header}\n" @ONLY)
    add_library(probe_${id} OBJECT EXCLUDE_FROM_ALL ${source})
    set_target_properties(probe_${id} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
    target_include_directories(probe_${id} PRIVATE
        $<TARGET_PROPERTY:${layer},INCLUDE_DIRECTORIES>)
    string(REGEX REPLACE "[<>\"]" "" bare ${header})
    string(TOLOWER ${verdict} verdict_text)
    set(name "layers: ${layer} ${verdict_text} ${bare}")
    add_test(NAME ${name}
             COMMAND ${CMAKE_COMMAND} --build ${PROJECT_BINARY_DIR} --target probe_${id})
    # One build at a time in the build folder.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK build_folder)
    if(verdict STREQUAL "FORBIDDEN")
        string(REGEX REPLACE "([.+])" "\\\\\\1" bare ${bare})
        # gcc: "audio/x.h: No such file or directory"; clang: "'audio/x.h' file not found".
        set_tests_properties(${name} PROPERTIES
            PASS_REGULAR_EXPRESSION "${bare}'?:? (No such file or directory|file not found)")
    endif()
endfunction()

# The audio layer: no Qt, nothing above it.
zuna_layer_probe(zuna_audio "\"audio/decode/decoder.h\"" ALLOWED)
zuna_layer_probe(zuna_audio "<QObject>" FORBIDDEN)
zuna_layer_probe(zuna_audio "<QtCore/QString>" FORBIDDEN)
zuna_layer_probe(zuna_audio "\"audio/engine/zunaaudio.h\"" FORBIDDEN)
zuna_layer_probe(zuna_audio "\"metadata/timetext.h\"" FORBIDDEN)
zuna_layer_probe(zuna_audio "\"app/transport.h\"" FORBIDDEN)
# The engine: the layer's API, not its internals, nothing of the UI.
zuna_layer_probe(zuna_engine "\"audio/audiosystem.h\"" ALLOWED)
zuna_layer_probe(zuna_engine "\"audio/decode/decoder.h\"" FORBIDDEN)
zuna_layer_probe(zuna_engine "\"metadata/trackmetadata.h\"" FORBIDDEN)
zuna_layer_probe(zuna_engine "\"app/transport.h\"" FORBIDDEN)
# Metadata: the layer's API, not the engine, the playlists, the window or any widget.
zuna_layer_probe(zuna_metadata "\"audio/audiostream.h\"" ALLOWED)
zuna_layer_probe(zuna_metadata "<QString>" ALLOWED)
zuna_layer_probe(zuna_metadata "<QWidget>" FORBIDDEN)
zuna_layer_probe(zuna_metadata "\"playlist/zunalistwidget.h\"" FORBIDDEN)
zuna_layer_probe(zuna_metadata "\"audio/playback/channelcore.h\"" FORBIDDEN)
zuna_layer_probe(zuna_metadata "\"audio/engine/zunaaudio.h\"" FORBIDDEN)
zuna_layer_probe(zuna_metadata "\"playlist/zunalistview.h\"" FORBIDDEN)
zuna_layer_probe(zuna_metadata "\"app/mainwindow.h\"" FORBIDDEN)
# Playlists: metadata, not the window.
zuna_layer_probe(zuna_playlist "\"metadata/trackmetadata.h\"" ALLOWED)
zuna_layer_probe(zuna_playlist "<QWidget>" ALLOWED)
zuna_layer_probe(zuna_playlist "\"app/mainwindow.h\"" FORBIDDEN)
zuna_layer_probe(zuna_playlist "\"audio/engine/zunaaudio.h\"" FORBIDDEN)
# The UI: everything's public headers, none of the audio layer's internals.
zuna_layer_probe(zuna_ui "\"playlist/zunalistview.h\"" ALLOWED)
zuna_layer_probe(zuna_ui "\"audio/decode/trackfile.h\"" FORBIDDEN)
zuna_layer_probe(zuna_ui "\"audio/output/sdloutput.h\"" FORBIDDEN)
