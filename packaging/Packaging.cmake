# packaging placeholder
