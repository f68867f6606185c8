#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, only those that are missing.
# Sourced by scripts/test, scripts/demo and .ci/run. Works as root; uses sudo otherwise.
vlm_install_deps() {
  local wanted=(cmake ninja-build g++ clang clang-format-14 libclang-rt-14-dev ccache pkg-config
                libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
                dosfstools mtools ntfs-3g exfatprogs exfat-fuse fdisk zstd xz-utils python3 strace attr python3-pil
                qt6-base-dev libqt6svg6 xvfb xauth fonts-dejavu-core fonts-wqy-microhei)
  # The previews: documents rendered, audio and video played through GStreamer (libav brings
  # the decoders of MP4, MP3, AVI and the like).
  wanted+=(qt6-pdf-dev qt6-multimedia-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav)
  wanted+=("$@")
  # Disk-image containers (linked), and the tools that write them and continue rescue maps
  # (the image tests compare against them).
  wanted+=(libewf-dev libvhdi-dev libvmdk-dev libqcow-dev ewf-tools qemu-utils gddrescue)
  local missing=()
  local p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

