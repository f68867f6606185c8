build_sample_images() { :; }
build_sample() { :; }
