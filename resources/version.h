/* The product's name and version, kept in one place for the version resource and the About text. */
#pragma once

#define TOVRIN_PRODUCT_NAME "Tovrin Smoother"
#define TOVRIN_COMPANY_NAME "Tovrin"
#define TOVRIN_VERSION_TEXT "1.01"
/* The fixed (binary) file and product version the host and Explorer read. */
#define TOVRIN_VERSION_FIXED 10, 0, 0, 0
#define TOVRIN_COPYRIGHT "Copyright © 2026 Tovrin. All rights reserved."
#define TOVRIN_DESCRIPTION "Animation Cell Line Smoothing Effect"
#define TOVRIN_MODULE_FILE "Tovrin_Smoother.8bf"
