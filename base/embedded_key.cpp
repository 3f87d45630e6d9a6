#include "base/embedded_key.h"

// DEVELOPMENT KEY. Builds embed the public half of the development signing pair whose private
// half lies in tests/fixtures/dev_package_private_key.pem, so anyone holding the sources can
// sign packages for these builds. A release build replaces kEmbeddedPublicKeyText with its own
// public key: "brivelo_pkgmaker embed-key <public.pem>" prints the constant for a PEM public key
// under kEmbeddedCipherKey.

const wchar_t kEmbeddedCipherKey[] = L"B1FA10C308CE84F6D7405F52225D951D";

const wchar_t kEmbeddedPublicKeyText[] =
    L"2NfSIz68xFjQW9p01j0ORyTpCIWhvDmuim6F6K+U5x+7gbJhJrfCt7rwxWZ55WUDYWlLxaMpZ1Ugel+fm3P/YC"
    L"xBkwvAOI+B1XElKgTLvGaqFkDStfKIJY+eJyK+EUywqZxIqnOJRYNnuOE2fbnVHU0WRSK5hEqFpxyAgf2bQnhX"
    L"5s2mzjrMY+NZ0T1IlQd2RF+tItzmKSmWIaPSbsaZtmWbZeJ77KmL7hrUiE/F0CdOhxFeBvPiDvIUb9h3JXeCxV"
    L"Ib4A7xmiX/qLDl/GNPlpsK+/i76+aT14oJAcDmjCmK5rqNERT164L/OW+/Qt3q2zDM4xtOfWotgFMKQqRCVQ==";
