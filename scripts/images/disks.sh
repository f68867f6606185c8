build_disks_images() { :; }
