#!/bin/sh
# Builds the sample package: wixl compiles HarnfoldSample.wxs, then msibuild
# adds the two custom actions that run Install and Uninstall from the
# installed harnfold.dll.
# Usage: build-sample.sh OUT.msi ARCH PRODUCT-GUID UPGRADE-GUID FOLDER-NAME HARNFOLD-DLL
set -e
out=$1 arch=$2 product=$3 upgrade=$4 folder=$5 dll=$6
here=$(cd "$(dirname "$0")" && pwd)
case $out in /*) ;; *) out="$PWD/$out" ;; esac
# wixl takes file sources relative to the current folder only.
cd "$(dirname "$dll")"
wixl -a "$arch" -D ProductCode="$product" -D UpgradeCode="$upgrade" -D FolderName="$folder" \
    -D HarnfoldDll="$(basename "$dll")" -o "$out" "$here/HarnfoldSample.wxs"
# Type 3089 = 17 (DLL installed with the product, Source = its File key)
#           + 1024 (deferred: runs inside the installation script)
#           + 2048 (no impersonation: the installer service's rights).
# Install: after InstallFiles (4000), on a first installation only, since a
# repair must not count again. Uninstall: before RemoveFiles (3500), while the
# file is still there, only when the whole product goes.
msibuild "$out" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('HarnfoldInstall', 3089, 'HarnfoldFile', 'Install')" \
    -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('HarnfoldUninstall', 3089, 'HarnfoldFile', 'Uninstall')" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('HarnfoldInstall', 'NOT Installed AND NOT REMOVE', 4001)" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('HarnfoldUninstall', 'Installed AND REMOVE=\"ALL\"', 3499)"
