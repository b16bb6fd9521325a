#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
    cmake
    g++
    make
    qtbase5-dev
    qtdeclarative5-dev
    libqt5sql5-sqlite
    libqt5sql5-psql
    postgresql
    ffmpeg
    qt5-image-formats-plugins
    qml-module-qtquick2
    qml-module-qtquick-window2
    qml-module-qtquick-layouts
    qml-module-qtquick-controls
    qml-module-qtquick-controls2
    qml-module-qtquick-dialogs
    qml-module-qtqml-models2
    qml-module-qt-labs-folderlistmodel
    qml-module-qt-labs-settings
    qml-module-qttest
    fonts-font-awesome
    xvfb
    xauth
    default-jdk-headless
    libreoffice-impress-nogui
    poppler-utils
    clang
    libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
