# Fails when an include or a link points the wrong way.
#
# The folders of src/ are ranked {app, cli} > state > {service, agents, installers} > platform: every
# include of src/ goes strictly down (or stays in its folder), so no cycle between folders can
# form either, and src/ includes nothing of tools/, bench/ or tests/. tools/ and bench/ may
# include any folder of src/; a tool includes its own files and, of another tool, only the
# relay's public header tools/relay/relayserver.h, as the benchmarks do.
#
# Every form counts: "folder/file.h", <folder/file.h>, and a name alone. A quoted name is first
# looked for beside the including file, as the compiler does; otherwise any file of the project
# that the name can reach through an include path is checked, so that a file of src/agents
# including "connectstate.h" is caught even though no include path of src/ finds it today.
#
# LINKS is the file the build writes with each layer's library and the project libraries it
# links: a layer links only the layers below it.
#
# Only the window (src/app) includes a header of Qt GUI or Qt Widgets: GUI_HEADERS names their
# folders, whose file names are the names an include may use. NO_GUI lists built programs whose
# dynamic section may name no GUI, widget, X or GL library (the command line).
#
# Run: cmake -DROOT=<project source> [-DLINKS=<build>/layering/links.txt] [-DGUI_HEADERS=<dirs>]
#      [-DNO_GUI=<programs>] -P layering.cmake
cmake_minimum_required(VERSION 3.25)
set(rank_app 3)
set(rank_cli 3)
set(rank_state 2)
set(rank_service 1)
set(rank_agents 1)
set(rank_installers 1)
set(rank_platform 0)
set(relay_header tools/relay/relayserver.h)

# Every file of the project that an include can name, by file name. A configured header is known
# by its template, deployment.h by deployment.h.in.
file(GLOB_RECURSE known RELATIVE ${ROOT}
    ${ROOT}/src/* ${ROOT}/tools/* ${ROOT}/bench/* ${ROOT}/tests/*)
list(FILTER known INCLUDE REGEX "\\.(h|hpp|cpp|in)$")
foreach(file ${known})
    string(REGEX REPLACE "\\.in$" "" name "${file}")
    get_filename_component(base "${name}" NAME)
    list(APPEND by_name_${base} "${name}")
endforeach()

# Sets `verdict` to why `from` may not include `to` (paths relative to ROOT), or to empty.
function(judge from to)
    set(verdict "" PARENT_SCOPE)
    string(REGEX MATCH "^[^/]+" from_top "${from}")
    string(REGEX MATCH "^[^/]+" to_top "${to}")
    string(REGEX REPLACE "^[^/]+/([^/]+)/.*" "\\1" from_folder "${from}")
    string(REGEX REPLACE "^[^/]+/([^/]+)/.*" "\\1" to_folder "${to}")
    if(from_top STREQUAL "src")
        if(NOT to_top STREQUAL "src")
            set(verdict "src/ includes nothing of ${to_top}/" PARENT_SCOPE)
        elseif(NOT from_folder STREQUAL to_folder
                AND (NOT DEFINED rank_${to_folder} OR NOT rank_${to_folder} LESS rank_${from_folder}))
            set(verdict "points up or sideways" PARENT_SCOPE)
        endif()
    elseif(to_top STREQUAL "src" OR to STREQUAL relay_header)
        # tools/ and bench/ stand above every layer; the relay's public header is for all.
    elseif(from_top STREQUAL "tools")
        if(NOT to_top STREQUAL "tools" OR NOT from_folder STREQUAL to_folder)
            set(verdict "a tool includes only its own files" PARENT_SCOPE)
        endif()
    elseif(NOT to_top STREQUAL from_top)
        set(verdict "the benchmarks include only src/, their own files and ${relay_header}" PARENT_SCOPE)
    endif()
endfunction()

set(gui_names "")
foreach(directory ${GUI_HEADERS})
    file(GLOB names RELATIVE ${directory} ${directory}/*)
    get_filename_component(module ${directory} NAME)
    list(APPEND gui_names ${names})
    list(TRANSFORM names PREPEND "${module}/")
    list(APPEND gui_names ${names})
endforeach()

file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/src/* ${ROOT}/tools/* ${ROOT}/bench/*)
list(FILTER sources INCLUDE REGEX "\\.(h|hpp|cpp|in)$")
set(violations "")
set(include_pattern "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
foreach(source ${sources})
    if(source MATCHES "^src/[^/]+$")
        continue() # a file at the top of src/
    endif()
    string(REGEX REPLACE "^src/([^/]+)/.*" "\\1" layer "${source}")
    if(source MATCHES "^src/" AND NOT DEFINED rank_${layer})
        string(APPEND violations "\n  ${source}: the folder ${layer} has no place in the layers")
        continue()
    endif()
    get_filename_component(folder "${source}" DIRECTORY)
    file(STRINGS ${ROOT}/${source} includes REGEX "${include_pattern}")
    foreach(include ${includes})
        string(REGEX MATCH "${include_pattern}" ignored "${include}")
        set(form "${CMAKE_MATCH_1}")
        set(name "${CMAKE_MATCH_2}")
        if(source MATCHES "^src/" AND NOT layer STREQUAL "app" AND name IN_LIST gui_names)
            string(APPEND violations "\n  ${source}: ${include} (a Qt GUI or Widgets header outside the window)")
        endif()
        # Beside the including file first (quoted only), else wherever an include path reaches.
        set(targets "")
        cmake_path(SET beside NORMALIZE "${folder}/${name}")
        get_filename_component(base "${name}" NAME)
        if(form STREQUAL "\"" AND beside IN_LIST by_name_${base})
            set(targets "${beside}")
        else()
            string(LENGTH "/${name}" length)
            foreach(candidate ${by_name_${base}})
                string(LENGTH "${candidate}" start)
                math(EXPR start "${start} - ${length}")
                set(tail "")
                if(start GREATER_EQUAL 0)
                    string(SUBSTRING "${candidate}" ${start} ${length} tail)
                endif()
                if(candidate STREQUAL name OR tail STREQUAL "/${name}")
                    list(APPEND targets "${candidate}")
                endif()
            endforeach()
        endif()
        foreach(target ${targets})
            judge("${source}" "${target}")
            if(verdict)
                string(APPEND violations "\n  ${source}: ${include} (${target}: ${verdict})")
            endif()
        endforeach()
    endforeach()
endforeach()

if(DEFINED LINKS)
    if(NOT EXISTS ${LINKS})
        message(FATAL_ERROR "${LINKS} is missing: configure the build first")
    endif()
    file(STRINGS ${LINKS} lines)
    foreach(line ${lines})
        string(REGEX MATCH "^([^:]+):(.*)$" ignored "${line}")
        set(library "${CMAKE_MATCH_1}")
        separate_arguments(linked UNIX_COMMAND "${CMAKE_MATCH_2}")
        string(REGEX REPLACE "^velmora_ui$" "velmora_app" layer "${library}")
        string(REPLACE "velmora_" "" layer "${layer}")
        foreach(other ${linked})
            string(REGEX REPLACE "^velmora_ui$" "velmora_app" other_layer "${other}")
            string(REPLACE "velmora_" "" other_layer "${other_layer}")
            if(NOT DEFINED rank_${other_layer} OR NOT rank_${other_layer} LESS rank_${layer})
                string(APPEND violations "\n  ${library} links ${other}: a layer links only the layers below it")
            endif()
        endforeach()
    endforeach()
endif()

foreach(program ${NO_GUI})
    execute_process(COMMAND readelf -d ${program} OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
    string(REGEX MATCHALL "NEEDED[^\n]*\\[(libQt6(Gui|Widgets|OpenGL)|libX|libxcb|libGL|libEGL|libwayland)[^]]*\\]" gui "${dynamic}")
    if(failed)
        string(APPEND violations "\n  ${program}: readelf -d failed")
    elseif(gui)
        string(APPEND violations "\n  ${program} needs a GUI library: ${gui}")
    endif()
endforeach()

if(violations)
    message(FATAL_ERROR "Includes and links that point the wrong way:${violations}")
endif()
