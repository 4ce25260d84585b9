# Installs the build into PREFIX and checks that exactly the program's files arrive there,
# with every PNG icon of the size its folder names.
file(REMOVE_RECURSE ${PREFIX})
set(ENV{DESTDIR} "")
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(expected
    bin/quobel
    bin/quobel-cli
    share/applications/quobel.desktop
    share/icons/hicolor/scalable/apps/quobel.svg
    share/metainfo/org.quobel.quobel.metainfo.xml)
# PYTHON_MODULE: the Python module's path below the prefix, where the build has it.
if(PYTHON_MODULE)
    list(APPEND expected ${PYTHON_MODULE})
endif()
# ICON_SIZES: the sizes the build renders, comma-separated.
string(REPLACE "," ";" icon_sizes "${ICON_SIZES}")
if(NOT icon_sizes)
    message(FATAL_ERROR "give the icon sizes as -DICON_SIZES=16,22,...")
endif()
foreach(size IN LISTS icon_sizes)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/quobel.png)
endforeach()
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT expected)
list(SORT installed)
if(NOT installed STREQUAL expected)
    set(extra ${installed})
    list(REMOVE_ITEM extra ${expected})
    set(missing ${expected})
    list(REMOVE_ITEM missing ${installed})
    message(FATAL_ERROR "installed files differ\n  not expected: ${extra}\n  missing: ${missing}")
endif()

# A PNG starts with its 8-byte signature, then the IHDR chunk: width and height as 4-byte big-endian.
foreach(file IN LISTS installed)
    if(file MATCHES "/([0-9]+)x([0-9]+)/apps/quobel\\.png$")
        set(size ${CMAKE_MATCH_1})
        file(READ ${PREFIX}/${file} header LIMIT 24 HEX)
        string(SUBSTRING "${header}" 0 16 signature)
        string(SUBSTRING "${header}" 32 8 width_hex)
        string(SUBSTRING "${header}" 40 8 height_hex)
        math(EXPR width "0x${width_hex}")
        math(EXPR height "0x${height_hex}")
        if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT width EQUAL size OR NOT height EQUAL size)
            message(FATAL_ERROR "${file}: not a ${size} x ${size} PNG (${signature}, ${width} x ${height})")
        endif()
    endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
