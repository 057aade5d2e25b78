# OpenCV's core, imgproc and calib3d as one target, found without the
# whole-library package: Debian's libopencv-dev, which alone carries OpenCV's
# CMake files, pulls every module with VTK, GDAL and MPI behind them.
find_path(SCRIVANE_OPENCV_INCLUDE opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
add_library(scrivane_opencv INTERFACE)
target_include_directories(scrivane_opencv SYSTEM INTERFACE ${SCRIVANE_OPENCV_INCLUDE})
foreach(module core imgproc calib3d)
  find_library(SCRIVANE_OPENCV_${module} opencv_${module} REQUIRED)
  target_link_libraries(scrivane_opencv INTERFACE ${SCRIVANE_OPENCV_${module}})
endforeach()
