################################################################################
#
# flagctl
#
################################################################################

# SPDX-License-Identifier: MIT

# The reference flag driver, from driver/ of the checkout this tree is part
# of. The module is GPL-2.0, as a kernel module must be.
FLAGCTL_VERSION = 1.0
FLAGCTL_SITE = $(BR2_EXTERNAL_DEVICETOOLS_PATH)/..
FLAGCTL_SITE_METHOD = local
FLAGCTL_OVERRIDE_SRCDIR_RSYNC_EXCLUSIONS = --exclude='/build*'
FLAGCTL_LICENSE = GPL-2.0
FLAGCTL_LICENSE_FILES = LICENSES/GPL-2.0
FLAGCTL_MODULE_SUBDIRS = driver

$(eval $(kernel-module))
$(eval $(generic-package))
