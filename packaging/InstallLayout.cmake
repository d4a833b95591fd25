# Runs at install time (cmake --install, make install, cpack). Lays out what
# depends on the prefix chosen then rather than at configure time: the language
# file in the configuration directory, the links beside the program, the
# launchers on the search path and the polkit action naming the helper.
#
# Expects CV_SOURCE_DIR, CV_BINARY_DIR, CV_PROGRAM_SUBDIR and CV_SERVER_CONF_DIR.

# "/usr/" and "/usr" are the same prefix; "/" becomes the empty text.
string(REGEX REPLACE "/+$" "" cv_prefix "${CMAKE_INSTALL_PREFIX}")

# Files an administrator changes belong in /etc for a system install, and
# under the prefix for one of its own (/usr/local, /opt/..., a test directory).
if(cv_prefix STREQUAL "" OR cv_prefix STREQUAL "/usr")
  set(cv_etc "/etc")
else()
  set(cv_etc "${cv_prefix}/etc")
endif()
set(cv_program_dir "${cv_prefix}/${CV_PROGRAM_SUBDIR}")

# The links and the launcher are made in the build tree and copied with
# file(INSTALL), which honours DESTDIR, keeps links as links and records every
# file in the install manifest. One directory per prefix, as they name it;
# removed again at the end.
string(MD5 cv_prefix_hash "${cv_prefix}")
set(cv_made "${CV_BINARY_DIR}/install-${cv_prefix_hash}")
file(REMOVE_RECURSE "${cv_made}")
file(MAKE_DIRECTORY "${cv_made}")

# The language file is rewritten when the user picks a language, so the real
# file lives with the other configuration; the program reaches it through the
# link and its safe write replaces the target, leaving the link in place.
file(INSTALL DESTINATION "${cv_etc}/cvconfmanager" TYPE FILE
     FILES "${CV_SOURCE_DIR}/demo/CVConfManager.lang")
file(CREATE_LINK "${cv_etc}/cvconfmanager/CVConfManager.lang" "${cv_made}/CVConfManager.lang" SYMBOLIC)

# The default configuration and alias files are the server's own. While no
# server is installed the links dangle, and the program reports the missing
# corvane.conf as it should.
foreach(name corvane.conf aliases.conf)
  file(CREATE_LINK "${CV_SERVER_CONF_DIR}/${name}" "${cv_made}/${name}" SYMBOLIC)
endforeach()
file(INSTALL DESTINATION "${cv_program_dir}" TYPE FILE
     FILES "${cv_made}/CVConfManager.lang" "${cv_made}/corvane.conf" "${cv_made}/aliases.conf")

# The programs find their files through the directory part of argv[0], taken
# as typed. Started by a bare name from the search path they would look in the
# working directory, so each launcher hands its program the absolute path.
foreach(cv_program CVConfManager cvconf)
  string(REPLACE "'" "'\\''" cv_quoted_${cv_program} "${cv_program_dir}/${cv_program}")
  file(WRITE "${cv_made}/launcher/${cv_program}"
    "#!/bin/sh\n"
    "# Starts the program by its absolute path: it finds its language, alias and\n"
    "# default configuration files beside the executable it was started as.\n"
    "exec '${cv_quoted_${cv_program}}' \"$@\"\n")
  file(INSTALL DESTINATION "${cv_prefix}/bin" TYPE PROGRAM FILES "${cv_made}/launcher/${cv_program}")
endforeach()

# Reading and saving as administrator: the polkit action that lets pkexec run
# the program's helper. polkit reads actions from /usr/share/polkit-1/actions
# only, so the action works for the prefix /usr.
set(CV_HELPER_PATH "${cv_program_dir}/cvconfmanager-helper")
string(REPLACE "&" "&amp;" CV_HELPER_PATH "${CV_HELPER_PATH}")
string(REPLACE "<" "&lt;" CV_HELPER_PATH "${CV_HELPER_PATH}")
configure_file("${CV_SOURCE_DIR}/packaging/org.example.cvconfmanager.policy.in"
               "${cv_made}/org.example.cvconfmanager.policy" @ONLY)
file(INSTALL DESTINATION "${cv_prefix}/share/polkit-1/actions" TYPE FILE
     FILES "${cv_made}/org.example.cvconfmanager.policy")
file(REMOVE_RECURSE "${cv_made}")
