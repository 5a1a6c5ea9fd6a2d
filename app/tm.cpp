#include "tm.h"

TM *tmf = nullptr;

TM::TM()
    : texttoText(new TexttoText[capacity]),
      texttoImage(new TexttoImage[capacity]),
      textsome(new Textsome[capacity]),
      imagesome(new Imagesome[capacity])
{
}

TM::~TM()
{
    delete[] imagesome;
    delete[] textsome;
    delete[] texttoImage;
    delete[] texttoText;
}
