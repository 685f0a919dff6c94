#pragma once
int openValue();
