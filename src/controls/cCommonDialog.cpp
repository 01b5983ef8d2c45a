#include "controls/cCommonDialog.h"

#include <QPrinter>

cCommonDialog::cCommonDialog() = default;
cCommonDialog::~cCommonDialog() = default;

void cCommonDialog::begin() {
    m_apiReturn = 0;
    m_extendedError = 0;
}
