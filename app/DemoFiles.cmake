# Puts the demo files beside the built program, each only where none lies yet,
# so that values saved and the language chosen in the demo survive the next
# build. With CV_DEMO_RESET set, fresh copies replace them.
#
#   cmake -D CV_DEMO_SOURCE_DIR=demo -D CV_DEMO_TARGET_DIR=build/app
#         [-D CV_DEMO_RESET=ON] -P app/DemoFiles.cmake
# or include()d with the same variables set.
cmake_minimum_required(VERSION 3.21)
foreach(cv_demo_name corvane.conf aliases.conf CVConfManager.lang)
  set(cv_demo_target "${CV_DEMO_TARGET_DIR}/${cv_demo_name}")
  if(CV_DEMO_RESET OR NOT (EXISTS "${cv_demo_target}" OR IS_SYMLINK "${cv_demo_target}"))
    file(COPY_FILE "${CV_DEMO_SOURCE_DIR}/${cv_demo_name}" "${cv_demo_target}")
  endif()
endforeach()
